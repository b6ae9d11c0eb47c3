# -*- coding: utf-8 -*-
# Copyright (c) 2026 The vtpapertoollpr authors
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)
# SPDX-License-Identifier: MIT

"""Runs a model's vtpapertoollpr_<model> tool and reads the lines it prints."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import re


TOOL_ARGUMENTS = dict(
    model=dict(type='str', required=True),
    tool=dict(type='path'),
)

# --list and the change lines write a name's backslash as \\, its tab as \t and any other
# control byte as a backslash and three octal digits; --export writes names as they are.
_ESCAPE = re.compile(r'\\(\\|t|[0-7]{3})')


def unescape(name):
    return _ESCAPE.sub(lambda m: {'\\': '\\', 't': '\t'}.get(m.group(1)) or chr(int(m.group(1), 8)), name)


def _size(field):
    return int(field) if field.isdigit() else None


def run(module, tool, words, data=None):
    """The tool's status and output; what it says on standard error while it succeeds, such
    as a length that a tape's limits changed, becomes a warning."""
    rc, out, err = module.run_command([tool] + words, data=data, binary_data=True)
    if rc == 0:
        for line in err.splitlines():
            module.warn(line)
    return rc, out, err


def fail(module, tool, words, rc, out, err, **result):
    module.fail_json(msg=err.strip() or '%s exited with status %d' % (' '.join([tool] + words), rc),
                     rc=rc, stdout=out, stderr=err, **result)


def output(module, tool, words, **result):
    """The tool's standard output; a failure ends the module with the tool's reason and result."""
    rc, out, err = run(module, tool, words)
    if rc != 0:
        fail(module, tool, words, rc, out, err, **result)
    return out


def find_tool(module):
    """The tool of the model asked for, once it has said that it runs as that model."""
    model = module.params['model']
    tool = module.params['tool'] or module.get_bin_path('vtpapertoollpr_' + model, required=True)
    runs_as = output(module, tool, ['--model']).strip()
    if runs_as != model:
        module.fail_json(msg='%s runs as model %s, not %s: nothing was changed'
                         % (tool, runs_as or '(none)', model))
    return tool


def catalogue(text):
    """The formats of a catalogue as --export prints it."""
    formats = []
    for line in text.splitlines():
        fields = line.split('\t')
        if len(fields) >= 3:
            formats.append(dict(name=fields[0], width=_size(fields[1]), length=_size(fields[2])))
    return formats


def catalogue_text(formats):
    return ''.join('%s\t%s\t%s\n' % (f['name'], f['width'], f['length']) for f in formats)


def changes(text):
    """The change lines of --apply and --delete-listed: add, replace or delete, the name and,
    but for a delete, the width and length as --export prints them."""
    found = []
    for line in text.splitlines():
        fields = line.split('\t')
        change = dict(action=fields[0], name=unescape(fields[1]) if len(fields) > 1 else '')
        if len(fields) >= 4:
            change.update(width=_size(fields[2]), length=_size(fields[3]))
        found.append(change)
    return found


def listing(text):
    """The formats as --list prints them: name, width, length, key and state."""
    formats = []
    for line in text.splitlines():
        fields = line.split('\t')
        if len(fields) >= 5:
            formats.append(dict(name=unescape(fields[0]), width=_size(fields[1]), length=_size(fields[2]),
                                key=fields[3], state=[s for s in fields[4].split(',') if s != '-']))
    return formats


def problems(text):
    """What --check prints: the key, the name and the problem of each."""
    return [dict(key=fields[0], name=unescape(fields[1]), problem=fields[2])
            for fields in (line.split('\t', 2) for line in text.splitlines()) if len(fields) == 3]
