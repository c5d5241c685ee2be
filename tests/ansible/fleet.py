# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""A fleet of simulated hosts for Ansible: one mount namespace per host, held by a shell that
ends with the program that made it, each with its own tmpfs efivarfs, its own /run and a checked
/sbin/reboot stub that only records a call."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"
EFIVARS = "/sys/firmware/efi/efivars"
HERE = os.path.dirname(os.path.abspath(__file__))
ANSIBLE_DIR = os.path.join(HERE, "..", "..", "ansible")
with open(os.path.join(ANSIBLE_DIR, "galaxy.yml")) as galaxy:
    VERSION = next(line.split()[1] for line in galaxy if line.startswith("version:"))
SKIP = 77

RIG = os.path.join(HERE, "..", "linux", "namespace_rig.sh")
# Each host's /sbin/reboot: records a call in the host's folder.
STUB = '#!/bin/sh\n# quiplex fleet stub\necho "$0 $*" >> %s/reboot-called\n'
# What the rig runs in a host's namespace: reads until the program that started it closes the
# pipe or ends, so no namespace outlives it.
HOLD = 'echo ready; read -r _ || :'


def enter_private_namespace():
    """Re-runs this program in a mount namespace of its own, so every mount made here vanishes
    with it; exits 77 where no namespace can be made."""
    if os.environ.get("QUIPLEX_FLEET_OUTER") == "1":
        return
    if os.geteuid() != 0 or shutil.which("unshare") is None or shutil.which("nsenter") is None:
        print("SKIP: needs root, unshare and nsenter")
        sys.exit(SKIP)
    if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
        print("SKIP: no mount namespace can be made here")
        sys.exit(SKIP)
    env = dict(os.environ, QUIPLEX_FLEET_OUTER="1")
    sys.exit(subprocess.run(["unshare", "--mount", "--propagation", "private",
                             sys.executable] + sys.argv, env=env).returncode)


class Fleet:
    """`count` hosts named host0..; those in `without_boot_manager` lack ZarvexUEFI."""

    def __init__(self, count, without_boot_manager=()):
        self.root = tempfile.mkdtemp(prefix="quiplex-fleet-")
        self.hosts = ["host%d" % i for i in range(count)]
        self.holders = {}
        for i, host in enumerate(self.hosts):
            folder = self.folder(host)
            os.makedirs(folder)
            stub = os.path.join(folder, "reboot-stub")
            with open(stub, "w") as f:
                f.write(STUB % folder)
            options = ["--no-boot-manager"] if i in without_boot_manager else []
            # The rig ends as the holding shell, in the same process: its pid is the host's.
            holder = subprocess.Popen(["bash", RIG, "--stub", stub] + options + ["sh", "-c", HOLD],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            self.holders[host] = holder
            if holder.stdout.readline().strip() != "ready":
                self.close()
                raise RuntimeError("host %s could not be set up (reboot stub unchecked)" % host)
            with open(os.path.join(folder, "python"), "w") as wrapper:
                wrapper.write('#!/bin/sh\nexec %s --target %d --mount /usr/bin/python3 "$@"\n'
                              % (shutil.which("nsenter"), holder.pid))
            os.chmod(os.path.join(folder, "python"), 0o755)
        self.environment = self._ansible_environment()

    def folder(self, host):
        return os.path.join(self.root, host)

    def inside(self, host, *command):
        """Runs `command` in the host's namespace; (status, stdout bytes)."""
        done = subprocess.run(["nsenter", "--target", str(self.holders[host].pid), "--mount"]
                              + list(command),
                              capture_output=True)
        return done.returncode, done.stdout

    def request_file(self, host):
        """The bytes of the host's "Quiplex" file (attributes first), or None."""
        status, data = self.inside(host, "cat", "%s/Quiplex-%s" % (EFIVARS, GUID))
        return data if status == 0 else None

    def reboot_calls(self):
        return [host for host in self.hosts
                if os.path.exists(os.path.join(self.folder(host), "reboot-called"))]

    def _ansible_environment(self):
        config = os.path.join(self.root, "ansible.cfg")
        with open(config, "w") as cfg:
            cfg.write("[defaults]\nhost_key_checking = False\nretry_files_enabled = False\n")
        with open(os.path.join(self.root, "inventory.ini"), "w") as inventory:
            inventory.write("[room]\n")
            for host in self.hosts:
                inventory.write("%s ansible_connection=local ansible_python_interpreter=%s\n"
                                % (host, os.path.join(self.folder(host), "python")))
        env = {key: value for key, value in os.environ.items() if not key.startswith("ANSIBLE_")}
        env.update(ANSIBLE_CONFIG=config, ANSIBLE_HOME=os.path.join(self.root, "home"),
                   ANSIBLE_COLLECTIONS_PATH=os.path.join(self.root, "collections"),
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.root, "tmp-local"),
                   ANSIBLE_REMOTE_TEMP=os.path.join(self.root, "tmp-remote"),
                   ANSIBLE_CALLBACK_PLUGINS=os.path.join(HERE, "callback_plugins"),
                   ANSIBLE_STDOUT_CALLBACK="fleet_results", ANSIBLE_NOCOLOR="1",
                   ANSIBLE_PYTHON_INTERPRETER="auto_silent")
        return env

    def install_collection(self, tarball=None):
        """Builds the collection (unless given its tarball) and installs it for the playbooks."""
        if tarball is None:
            subprocess.run(["ansible-galaxy", "collection", "build", ANSIBLE_DIR, "--output-path",
                            self.root, "--force"], check=True, env=self.environment,
                           capture_output=True)
            tarball = os.path.join(self.root, "quiplex-boot-%s.tar.gz" % VERSION)
        subprocess.run(["ansible-galaxy", "collection", "install", "--offline", "-p",
                        os.path.join(self.root, "collections"), tarball], check=True,
                       env=self.environment, capture_output=True)
        return tarball

    def playbook(self, tasks, forks, *options):
        """Runs one play of `tasks` (YAML text) on every host; {host: result of the last task}
        as callback_plugins/fleet_results.py prints it."""
        path = os.path.join(self.root, "play.yml")
        with open(path, "w") as play:
            play.write("- hosts: room\n  gather_facts: false\n  tasks:\n" + tasks)
        done = subprocess.run(["ansible-playbook", "-i", os.path.join(self.root, "inventory.ini"),
                               "--forks", str(forks), path] + list(options),
                              capture_output=True, text=True, env=self.environment)
        try:
            return json.loads(done.stdout.strip().splitlines()[-1])
        except (ValueError, IndexError):
            raise AssertionError("no results from ansible-playbook:\n%s\n%s" % (done.stdout,
                                                                               done.stderr))

    def close(self):
        for holder in self.holders.values():
            holder.kill()
            holder.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def oneshot_task(binary, **options):
    """One quiplex.boot.oneshot task as YAML (without `binary` when None), its result registered
    as `result`."""
    lines = ["    - quiplex.boot.oneshot:\n"]
    lines += ["        binary: %s\n" % binary] if binary else []
    lines += ["        %s: %s\n" % (key, json.dumps(value)) for key, value in options.items()]
    return "".join(lines) + "      register: result\n"
