#!/usr/bin/python
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Makes sure a one-shot boot request for Zarvex UEFI is pending (or none is) through quiplexlnx.
# Copyright: The quiplex developers; MIT licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: oneshot
short_description: Make a Linux host start once into a chosen Zarvex UEFI boot item
version_added: "1.0.3"
description:
  - Makes sure that the firmware variable C(Quiplex) holds the wanted one-shot boot request for
    the Zarvex UEFI boot manager, so that the next start of the host boots the chosen item once;
    or, with C(state=absent), that no request is pending.
  - It reads the pending request with C(quiplexlnx --status=json), builds the wanted one with
    C(quiplexlnx --dry-run=json) and writes only when the two differ, always with C(/noreboot).
    After a write it reads the request back and fails when it is not the wanted one.
  - It never restarts a host. Follow it, when it reports a change, with C(/sbin/reboot) as an
    asynchronous task nobody waits for (C(async), C(poll=0)). M(ansible.builtin.reboot) waits for
    the host to come back to the same system, which a host that starts another one never does.
  - The host needs C(quiplexlnx), efivarfs mounted at C(/sys/firmware/efi/efivars) and root
    rights (C(become)).
options:
  selection:
    description:
      - The boot item, given as its name, its hot key as C(&K), its number in the boot menu counted
        from 1, or one of the keywords C(/Current), C(/Next), C(/Shutdown), C(/None) (any letter
        case).
      - At most 50 characters. It may not contain C(/run=), C(/noreboot) or C(/force).
      - Required with C(state=present).
    type: str
  run_file:
    description:
      - A file the boot manager shall run, at most 63 characters.
    type: str
  state:
    description:
      - C(present) makes sure the request is pending; C(absent) makes sure no request is pending.
    type: str
    choices: [present, absent]
    default: present
  boot_next:
    description:
      - Also set the firmware's C(BootNext) to Zarvex UEFI's entry in its boot list, so the next
        start goes through Zarvex UEFI whatever C(BootOrder) says (a Windows update may have put
        Windows Boot Manager first). The firmware deletes C(BootNext) when it uses it.
      - Fails with C(rc) 8, writing nothing, when the boot list has no active entry named
        Zarvex. Only with C(state=present).
    type: bool
    default: false
  binary:
    description:
      - Path of C(quiplexlnx). By default it is looked for on C(PATH), then at
        C(/usr/sbin/quiplexlnx).
    type: path
notes:
  - Check mode reports whether the request would change and the request it would write, and
    writes nothing.
  - Diff mode shows the pending request before and after as C(quiplexlnx --status) prints it,
    with C(boot_next) a last line C(BootNext) naming the entry (or C(none)).
author:
  - The quiplex developers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Every PC in room 4 starts the exam system once, 10 at a time
  hosts: room4
  serial: 10
  gather_facts: false
  become: true
  tasks:
    - name: Request the exam system for the next start
      quiplex.boot.oneshot:
        selection: Windows Exam
      register: boot

    - name: Restart the PCs whose request changed, without waiting for them
      ansible.builtin.command: /sbin/reboot
      async: 60
      poll: 0
      when: boot is changed

- name: The rack boots the diagnostics item (number 3) and runs a tool
  hosts: rack
  become: true
  tasks:
    - quiplex.boot.oneshot:
        selection: "3"
        run_file: tools\memtest.efi
        binary: /usr/local/sbin/quiplexlnx
      register: boot
    - ansible.builtin.command: /sbin/reboot
      async: 60
      poll: 0
      when: boot is changed

- name: No one-shot request left pending
  quiplex.boot.oneshot:
    state: absent
  become: true
"""

RETURN = r"""
boot_manager:
  description: Whether the Zarvex UEFI boot manager is installed (its variable exists).
  returned: always
  type: bool
  sample: true
previous:
  description:
    - The request pending before the task, as C(quiplexlnx --status=json) describes it, or null.
    - A stored value too short to be a request reads as C(corrupt) true, with its C(size).
  returned: always
  type: dict
  sample: {"code": 2, "kind": "item", "keyword": null, "selection": "", "run_file": "",
           "attributes": 7, "size": 6}
request:
  description:
    - The request pending after the task (in check mode, the one it would write), or null when
      none is.
    - C(kind) is C(item), C(keyword), C(name) or C(hot_key); every byte of C(selection) and
      C(run_file) is one character.
  returned: always
  type: dict
  sample: {"code": 65535, "kind": "name", "keyword": null, "selection": "Windows Exam",
           "run_file": "", "attributes": 7, "size": 18}
firmware:
  description:
    - The firmware's boot list after the task (in check mode, before it), as the C(firmware)
      member of C(quiplexlnx --status=json) describes it; all null where the host has none.
    - C(next) is the entry the firmware starts next, C(boot_manager_entry) Zarvex UEFI's and
      C(boot_manager_next) whether the next start goes through it.
  returned: always
  type: dict
  sample: {"boot_current": "0003", "boot_next": null, "boot_order": ["0000", "0003"],
           "next": "0000", "next_via": "boot_order", "boot_manager_entry": "0003",
           "boot_manager_next": false,
           "entries": {"0000": {"description": "Windows Boot Manager", "active": true},
                       "0003": {"description": "Zarvex UEFI", "active": true}},
           "firmware_setup_supported": true}
rc:
  description: The status quiplexlnx ended with, when the task failed.
  returned: failed
  type: int
  sample: 8
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

DEFAULT_BINARY = "/usr/sbin/quiplexlnx"
# The program cuts a name at these, which would write another request than the one asked for.
OPTION_TEXTS = ("/RUN=", "/NOREBOOT", "/FORCE")
SELECTION_LIMIT = 50
RUN_FILE_LIMIT = 63
STATUS_INVALID = 61
STATUS_NOT_FOUND = 8
ENTRY_NOT_FOUND = ("Zarvex UEFI's entry in the firmware's boot list was not found; nothing was "
                   "changed.")


def find_binary(module):
    given = module.params["binary"]
    if given:
        tried = [given]
    else:
        folders = [folder or "." for folder in os.environ.get("PATH", os.defpath).split(os.pathsep)]
        tried = [os.path.join(folder, "quiplexlnx") for folder in folders] + [DEFAULT_BINARY]
    for candidate in tried:
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return candidate
    module.fail_json(msg="quiplexlnx was not found; tried: %s" % ", ".join(tried), rc=127)


def run(module, binary, *arguments):
    """The program's status and output; an argument list, never a shell."""
    # Without expansion: a "$" or "~" in a name is part of the name.
    rc, out, err = module.run_command([binary] + list(arguments), check_rc=False,
                                      expand_user_and_vars=False)
    return rc, out, err


def message_of(out, err):
    return (out.strip() or err.strip()).replace("\r", "")


def read_json(module, binary, *arguments):
    rc, out, err = run(module, binary, *arguments)
    try:
        return rc, json.loads(out)
    except ValueError:
        module.fail_json(msg=message_of(out, err) or "quiplexlnx gave no JSON", rc=rc)


def pending(module, binary):
    """(boot manager present, request, firmware) as --status=json reads them; fails on a store
    error."""
    rc, data = read_json(module, binary, "--status=json")
    request = data.get("request")
    corrupt = isinstance(request, dict) and request.get("corrupt")
    if rc != 0 and not corrupt:
        # The text form carries the program's own message (and its efivarfs hint).
        _, out, err = run(module, binary, "--status")
        module.fail_json(msg=message_of(out, err), rc=rc)
    return bool(data.get("boot_manager")), request, data.get("firmware") or {}


def quoted(text):
    return '"%s"' % "".join(c if " " <= c <= "~" and c != '"' else "\\x%02X" % ord(c)
                            for c in text)


def status_text(boot_manager, request):
    """The lines quiplexlnx --status prints for this request."""
    lines = ["Zarvex UEFI: %s" % ("found" if boot_manager else "not found")]
    if request is None:
        lines.append("Pending request: none")
    elif request.get("corrupt"):
        size = request["size"]
        lines.append("Pending request: corrupt" + (" (%d %s, shorter than its 4-byte code)"
                     % (size, "byte" if size == 1 else "bytes") if size else ""))
    else:
        kind = request["kind"]
        what = {"keyword": request["keyword"], "item": "item %d" % request["code"],
                "hot_key": "hot key " + quoted(request["selection"]),
                "name": "name " + quoted(request["selection"])}[kind]
        lines.append("Pending request: " + what)
        run_file = request["run_file"]
        lines.append("Run file: " + (quoted(run_file) if run_file else "none"))
        size = "Size: %d bytes" % request["size"]
        if request["attributes"] is not None:
            size += ", attributes 0x%08X" % request["attributes"]
        lines.append(size)
    return "\n".join(lines) + "\n"


def boot_next_text(entry):
    return "BootNext: %s\n" % ("Boot" + entry if entry else "none")


def command_of(module):
    selection = module.params["selection"]
    run_file = module.params["run_file"] or ""
    problem = None
    for what, text, limit in (("selection", selection, SELECTION_LIMIT),
                              ("run_file", run_file, RUN_FILE_LIMIT)):
        if len(text.encode("utf-8")) > limit:
            problem = "%s %r is longer than %d bytes" % (what, text, limit)
        elif any(option in text.upper() for option in OPTION_TEXTS):
            problem = "%s %r contains /run=, /noreboot or /force" % (what, text)
        if problem:
            module.fail_json(msg="invalid %s" % problem, rc=STATUS_INVALID)
    return selection + ("/run=" + run_file if run_file else "") + "/noreboot"


def main():
    module = AnsibleModule(
        argument_spec=dict(
            selection=dict(type="str"),
            run_file=dict(type="str"),
            state=dict(type="str", default="present", choices=["present", "absent"]),
            boot_next=dict(type="bool", default=False),
            binary=dict(type="path"),
        ),
        required_if=[("state", "present", ["selection"])],
        supports_check_mode=True,
    )
    binary = find_binary(module)
    boot_manager, previous, firmware = pending(module, binary)
    result = dict(changed=False, boot_manager=boot_manager, previous=previous, request=previous,
                  firmware=firmware)
    boot_next = module.params["boot_next"] and module.params["state"] == "present"
    entry = firmware.get("boot_manager_entry")
    next_before = firmware.get("boot_next")

    if module.params["state"] == "absent":
        wanted = None
        result["changed"] = previous is not None
        if result["changed"] and not module.check_mode:
            rc, out, err = run(module, binary, "--cancel")
            if rc != 0:
                module.fail_json(msg=message_of(out, err), rc=rc, **result)
    else:
        command = command_of(module)
        if not boot_manager:
            module.fail_json(msg="Zarvex UEFI was not found.", rc=STATUS_NOT_FOUND, **result)
        if boot_next and entry is None:
            module.fail_json(msg=ENTRY_NOT_FOUND, rc=STATUS_NOT_FOUND, **result)
        rc, described = read_json(module, binary, "--dry-run=json", command)
        if rc != 0:
            module.fail_json(msg="invalid selection %r: quiplexlnx ended with %d"
                             % (module.params["selection"], rc), rc=rc, **result)
        wanted = described["request"]
        result["changed"] = previous != wanted or (boot_next and next_before != entry)
        if result["changed"] and not module.check_mode:
            # --boot-next writes the request (the same again when only BootNext differs) first.
            arguments = ["--boot-next", command] if boot_next else [command]
            rc, out, err = run(module, binary, *arguments)
            if rc != 0:
                module.fail_json(msg=message_of(out, err), rc=rc, **result)

    result["request"] = wanted if result["changed"] else previous
    if result["changed"] and not module.check_mode:
        boot_manager, result["request"], result["firmware"] = pending(module, binary)
        if result["request"] != wanted:
            module.fail_json(msg="the pending request is not the one written", rc=0, **result)
        if boot_next and result["firmware"].get("boot_next") != entry:
            module.fail_json(msg="BootNext is not Zarvex UEFI's entry after the write", rc=0,
                             **result)
    if module._diff:
        before = status_text(result["boot_manager"], previous)
        after = status_text(result["boot_manager"], result["request"])
        if boot_next:
            before += boot_next_text(next_before)
            after += boot_next_text(entry)
        result["diff"] = dict(before=before, after=after)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
