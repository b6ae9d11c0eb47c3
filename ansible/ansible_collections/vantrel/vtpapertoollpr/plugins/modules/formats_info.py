#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The vtpapertoollpr authors
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


DOCUMENTATION = r'''
---
module: formats_info
short_description: List a label printer model's custom label formats and what is wrong with them
version_added: 0.2.0
description:
  - Returns the custom label formats of one printer model as the C(vtpapertoollpr_<model>)
    tool lists them (C(--list)), and the problems its C(--check) finds. Changes no format.
  - Like every run of the tool, it first finishes a change that an interrupted run left.
author:
  - vtpapertoollpr maintainers <vtpapertoollpr@example.org> (!UNKNOWN)
extends_documentation_fragment:
  - vantrel.vtpapertoollpr.tool
attributes:
  check_mode:
    support: full
    details:
      - This action does not modify state.
  diff_mode:
    support: N/A
    details:
      - This action does not modify state.
options: {}
seealso:
  - module: vantrel.vtpapertoollpr.formats
'''

EXAMPLES = r'''
- name: What the print server holds
  vantrel.vtpapertoollpr.formats_info:
    model: lmq700k
  register: held

- name: Stop where the driver's data files need mending (the tool's --repair)
  ansible.builtin.assert:
    that: held.problems == []
'''

RETURN = r'''
formats:
  description:
    - Every format on file, in the tool's C(--list) order.
    - Width and length in millimetres as given to the print system (such as 10 for a
      label on 12 mm tape), or null when the driver's paper table holds no size.
    - I(state) holds C(current) when the format is the current media, and C(incomplete)
      when a data file lacks its entry.
  returned: success
  type: list
  elements: dict
  sample: [{name: Tube12, width: 10, length: 50, key: VtL_vtS12mm__060A03200000, state: [current]}]
problems:
  description: What the tool's C(--check) finds, one item per problem; empty when none.
  returned: success
  type: list
  elements: dict
  sample: [{key: VtL_vtS24mm__0716064A0F3E, name: Asset24, problem: missing from ImagingArea}]
'''


from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantrel.vtpapertoollpr.plugins.module_utils.tool import (
    TOOL_ARGUMENTS, fail, find_tool, listing, output, problems, run)


def main():
    module = AnsibleModule(argument_spec=dict(TOOL_ARGUMENTS), supports_check_mode=True)
    tool = find_tool(module)
    formats = listing(output(module, tool, ['--list']))
    rc, out, err = run(module, tool, ['--check'])
    if rc not in (0, 1):
        fail(module, tool, ['--check'], rc, out, err)
    module.exit_json(changed=False, formats=formats, problems=problems(out))


if __name__ == '__main__':
    main()
