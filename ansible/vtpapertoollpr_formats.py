#!/usr/bin/python3
# Keeps a label printer model's custom formats in step with a list, through the
# vtpapertoollpr_<model> tool's catalogue commands (--export, --apply, --dry-run).

DOCUMENTATION = r"""
---
module: vtpapertoollpr_formats
short_description: Keep a label printer model's custom label formats in step
description:
  - Makes the custom label formats of one printer model, as the C(vtpapertoollpr_<model>)
    tool of its driver package keeps them, hold a given list, as one change per run.
  - Runs the tool on the managed host; in check mode it only asks the tool what would
    change (C(--dry-run)).
  - A format whose paper table and imaging area numbers would stay the same is left as it
    is, so a second run with the same list changes nothing.
options:
  model:
    description: The printer model, as in the tool's name C(vtpapertoollpr_<model>).
    type: str
    required: true
  printer:
    description:
      - The print queue that the tool passes on to the print system (C(-P)).
      - Required, since every state may change formats.
    type: str
  formats:
    description: The formats, each a name, a width and a length in millimetres.
    type: list
    elements: dict
    default: []
    suboptions:
      name:
        description: The label format's name.
        type: str
        required: true
      width:
        description: The width in millimetres, as given to C(-w).
        type: int
        required: true
      length:
        description: The length in millimetres, as given to C(-h).
        type: int
        required: true
  state:
    description:
      - C(present) makes the model hold the listed formats and keeps the others.
      - C(exact) also deletes every format the list does not name (C(--prune)).
      - C(absent) deletes the listed names; their sizes are not needed.
    type: str
    choices: [present, exact, absent]
    default: present
  tool:
    description: The tool's path, when C(vtpapertoollpr_<model>) is not on the PATH.
    type: path
author:
  - vtpapertoollpr maintainers
"""

EXAMPLES = r"""
- name: Every print server holds the shop's tube and asset labels
  vtpapertoollpr_formats:
    model: lmq700k
    printer: q1
    formats:
      - {name: Tube12, width: 12, length: 50}
      - {name: Asset24, width: 24, length: 100}

- name: Nothing but these, and show what goes
  vtpapertoollpr_formats:
    model: lmq700k
    printer: q1
    state: exact
    formats:
      - {name: Tube12, width: 12, length: 50}

- name: An old format goes everywhere
  vtpapertoollpr_formats:
    model: rk260
    printer: q2
    state: absent
    formats:
      - {name: Roll29, width: 29, length: 90}
"""

RETURN = r"""
changed:
  description: Whether the tool printed a change line (it would have, in check mode).
  returned: always
  type: bool
changes:
  description: The tool's change lines, in the order of the change.
  returned: always
  type: list
  elements: dict
  sample: [{action: add, name: Tube12, width: 10, length: 50}]
formats:
  description: The model's catalogue after the run, as C(--export) prints it.
  returned: always
  type: list
  elements: dict
  sample: [{name: Tube12, width: 12, length: 50}]
diff:
  description: The catalogue before and after, as export text, in diff mode.
  returned: when diff mode is on
  type: dict
"""


from ansible.module_utils.basic import AnsibleModule


def tool_path(module):
    tool = module.params["tool"]
    if tool:
        return tool
    return module.get_bin_path("vtpapertoollpr_" + module.params["model"], required=True)


def run_tool(module, tool, words, data=None):
    rc, out, err = module.run_command([tool] + words, data=data, binary_data=True)
    if rc != 0:
        module.fail_json(msg=err.strip() or "%s exited with status %d" % (tool, rc), rc=rc,
                         stdout=out, stderr=err)
    return out


def catalogue_lines(text):
    formats = []
    for line in text.splitlines():
        name, width, length = line.split("\t")[:3]
        formats.append({"name": name, "width": int(width), "length": int(length)})
    return formats


def change_lines(text):
    changes = []
    for line in text.splitlines():
        fields = line.split("\t")
        change = {"action": fields[0], "name": fields[1]}
        if len(fields) >= 4:
            change["width"], change["length"] = int(fields[2]), int(fields[3])
        changes.append(change)
    return changes


def catalogue_text(formats):
    return "".join("%s\t%d\t%d\n" % (f["name"], f["width"], f["length"]) for f in formats)


def wanted_catalogue(state, formats, before):
    """The catalogue to apply, and whether formats it does not name go."""
    if state != "absent":
        return catalogue_text(formats), state == "exact"
    gone = set(f["name"] for f in formats)
    return catalogue_text(f for f in before if f["name"] not in gone), True


def predicted(before, state, formats):
    """What a check-mode run would leave, for its diff: the sizes as given."""
    listed = dict((f["name"], f) for f in formats)
    if state == "absent":
        return [f for f in before if f["name"] not in listed]
    kept = [listed.pop(f["name"], f) for f in before if state == "present" or f["name"] in listed]
    return kept + [f for f in formats if f["name"] in listed]


def main():
    module = AnsibleModule(
        argument_spec=dict(
            model=dict(type="str", required=True),
            printer=dict(type="str"),
            formats=dict(type="list", elements="dict", default=[], options=dict(
                name=dict(type="str", required=True),
                width=dict(type="int", required=True),
                length=dict(type="int", required=True))),
            state=dict(type="str", default="present", choices=["present", "exact", "absent"]),
            tool=dict(type="path"),
        ),
        supports_check_mode=True,
    )
    if not module.params["printer"]:
        module.fail_json(msg="printer is required: the tool passes it on to the print system")
    tool = tool_path(module)
    before_text = run_tool(module, tool, ["--export"])
    before = catalogue_lines(before_text)
    text, prune = wanted_catalogue(module.params["state"], module.params["formats"], before)
    words = ["-P", module.params["printer"]] + (["--prune"] if prune else []) + ["--apply", "-"]
    if module.check_mode:
        words.append("--dry-run")
    changes = change_lines(run_tool(module, tool, words, data=text))
    if module.check_mode:
        after = predicted(before, module.params["state"], module.params["formats"])
        after_text = catalogue_text(after)
    else:
        after_text = run_tool(module, tool, ["--export"])
        after = catalogue_lines(after_text)
    result = dict(changed=bool(changes), changes=changes, formats=after)
    if module._diff:
        result["diff"] = dict(before=before_text, after=after_text)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
