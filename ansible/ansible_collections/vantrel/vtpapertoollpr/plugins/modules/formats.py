#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The vtpapertoollpr authors
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


DOCUMENTATION = r'''
---
module: formats
short_description: Keep a label printer model's custom label formats in step
version_added: 0.2.0
description:
  - Makes the custom label formats of one printer model, as the C(vtpapertoollpr_<model>)
    tool of its driver package keeps them, hold a given list, in one change of the tool
    per run.
  - A format whose printed size would stay the same is left as it is, so a second run with
    the same list changes nothing.
author:
  - vtpapertoollpr maintainers <vtpapertoollpr@example.org> (!UNKNOWN)
extends_documentation_fragment:
  - vantrel.vtpapertoollpr.tool
attributes:
  check_mode:
    support: full
    details:
      - The tool says what it would change (C(--dry-run)) and changes nothing.
  diff_mode:
    support: full
    details:
      - The diff is the catalogue before and after, as C(--export) prints it.
options:
  printer:
    description:
      - The print queue that the tool passes on to the print system (C(-P)).
    type: str
    required: true
  formats:
    description:
      - The formats, each a name, a width and a length in millimetres.
      - A name must not be empty, start with C(#), or hold a tab or a line break.
    type: list
    elements: dict
    default: []
    suboptions:
      name:
        description: The label format's name.
        type: str
        required: true
      width:
        description:
          - The width in millimetres, as given to the tool's C(-w); required unless I(state=absent).
          - On a tape model the tape's width, such as C(12) for a label that prints 10 mm wide.
        type: int
      length:
        description: The length in millimetres, as given to C(-h); required unless I(state=absent).
        type: int
  state:
    description:
      - C(present) makes the model hold the listed formats, adding each that is missing and
        replacing each whose size differs, and keeps the others (C(--apply)).
      - C(exact) also deletes every format the list does not name (C(--apply --prune)).
      - C(absent) deletes the listed names that are on file (C(--delete-listed)); sizes are
        not needed.
    type: str
    choices: [present, exact, absent]
    default: present
  allow_empty:
    description:
      - Lets I(state=exact) take an empty I(formats) list, which deletes every format.
        Without it, such a task fails and changes nothing, as an empty list is more often a
        mistake in the inventory than a wish.
    type: bool
    default: false
notes:
  - When the print system refuses a format part-way, the formats before it stay changed
    and the task fails with C(changed) true and I(changes) saying what was done; a format
    that was to be replaced may be gone (a C(delete) change).
seealso:
  - module: vantrel.vtpapertoollpr.formats_info
'''

EXAMPLES = r'''
- name: Every print server holds the shop's tube and asset labels
  vantrel.vtpapertoollpr.formats:
    model: lmq700k
    printer: q1
    formats:
      - {name: Tube12, width: 12, length: 50}
      - {name: Asset24, width: 24, length: 100}

- name: Nothing but these
  vantrel.vtpapertoollpr.formats:
    model: lmq700k
    printer: q1
    state: exact
    formats:
      - {name: Tube12, width: 12, length: 50}

- name: An old format goes everywhere
  vantrel.vtpapertoollpr.formats:
    model: rk260
    printer: q2
    state: absent
    formats:
      - name: Roll29
'''

RETURN = r'''
changes:
  description:
    - The tool's change lines, in the order of the change (in check mode, what it would change).
    - Width and length as the tool's C(--export) prints them, as in I(formats); a
      C(delete) has neither.
  returned: when the tool was asked to change, also when it failed part-way
  type: list
  elements: dict
  sample: [{action: add, name: Tube12, width: 12, length: 50}, {action: delete, name: Old}]
formats:
  description:
    - The model's catalogue after the run, as C(--export) prints it (in check mode, as the
      run would leave it).
  returned: success
  type: list
  elements: dict
  sample: [{name: Tube12, width: 12, length: 50}]
'''


from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantrel.vtpapertoollpr.plugins.module_utils.tool import (
    TOOL_ARGUMENTS, catalogue, catalogue_text, changes, fail, find_tool, output, run)


def refusal(state, formats, allow_empty):
    """Why the formats cannot be asked for, or None."""
    for f in formats:
        if not f['name'] or f['name'].startswith('#') or any(c in f['name'] for c in '\t\n\r'):
            return 'format name %r: must not be empty, start with #, or hold a tab or a line break' % f['name']
        if state != 'absent' and (f['width'] is None or f['length'] is None):
            return 'format %s: width and length are required unless state is absent' % f['name']
    if state == 'exact' and not formats and not allow_empty:
        return 'state exact with no formats would delete every format: set allow_empty to true to mean it'
    return None


def command(params, check_mode):
    """The tool's words and standard input for the change asked for."""
    words = ['-P', params['printer']]
    if params['state'] == 'absent':
        words += ['--delete-listed', '-']
        text = ''.join(f['name'] + '\n' for f in params['formats'])
    else:
        words += ['--apply', '-']
        text = catalogue_text(params['formats'])
    if params['state'] == 'exact':
        words += ['--prune'] + (['--allow-empty'] if params['allow_empty'] else [])
    return words + (['--dry-run'] if check_mode else []), text


def predicted(before, changed):
    """The catalogue that the changes would leave: a replaced format goes last, as an added one."""
    after = list(before)
    for change in changed:
        after = [f for f in after if f['name'] != change['name']]
        if change['action'] != 'delete':
            after.append(dict(name=change['name'], width=change.get('width'), length=change.get('length')))
    return after


def main():
    module = AnsibleModule(
        argument_spec=dict(
            TOOL_ARGUMENTS,
            printer=dict(type='str', required=True),
            formats=dict(type='list', elements='dict', default=[], options=dict(
                name=dict(type='str', required=True),
                width=dict(type='int'),
                length=dict(type='int'))),
            state=dict(type='str', default='present', choices=['present', 'exact', 'absent']),
            allow_empty=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    why = refusal(module.params['state'], module.params['formats'], module.params['allow_empty'])
    if why:
        module.fail_json(msg=why)
    tool = find_tool(module)
    before_text = output(module, tool, ['--export']) if module.check_mode or module._diff else None
    words, text = command(module.params, module.check_mode)
    rc, out, err = run(module, tool, words, data=text)
    done = changes(out)
    if rc != 0:
        fail(module, tool, words, rc, out, err, changed=bool(done), changes=done)
    if module.check_mode:
        after_text = catalogue_text(predicted(catalogue(before_text), done))
    else:
        after_text = output(module, tool, ['--export'], changed=bool(done), changes=done)
    result = dict(changed=bool(done), changes=done, formats=catalogue(after_text))
    if module._diff:
        result['diff'] = dict(before=before_text, after=after_text)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
