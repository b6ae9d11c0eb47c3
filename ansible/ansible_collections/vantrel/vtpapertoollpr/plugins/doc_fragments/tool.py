# -*- coding: utf-8 -*-
# Copyright (c) 2026 The vtpapertoollpr authors
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):

    # What every module of the collection takes to find the tool, and the attributes' meaning.
    DOCUMENTATION = r'''
options:
  model:
    description:
      - The printer model, as in the tool's name C(vtpapertoollpr_<model>), such as C(lmq700k).
      - The tool must say that it runs as this model (C(--model)), or the module fails and
        changes nothing.
    type: str
    required: true
  tool:
    description: The tool's path, when C(vtpapertoollpr_<model>) is not on the PATH.
    type: path
requirements:
  - The tool C(vtpapertoollpr_<model>) of the vtpapertoollpr package and the model's printer
    driver on the managed host.
attributes:
  check_mode:
    description: Runs in check mode, saying what it would change and changing nothing.
  diff_mode:
    description: Returns, in diff mode, what changed (or would change, in check mode).
  platform:
    description: The managed hosts' systems it runs on.
    support: N/A
    platforms: posix
'''
