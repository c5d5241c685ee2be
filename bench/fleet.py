# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Times one quiplex.boot.oneshot task on 20 namespaced hosts (forks 10) against one
ansible.builtin.command: /bin/true task on the same hosts, Ansible's own floor; medians of 5."""
import os
import statistics
import sys
import time

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(TOP, "tests", "ansible"))
import fleet  # noqa: E402

HOSTS, FORKS = 20, 10
RUNS = int(os.environ.get("QUIPLEX_BENCH_RUNS", "5"))
BINARY = os.path.join(TOP, "build", "linux", "linux", "quiplexlnx")


def timed(hosts, tasks, changed):
    """Seconds of one run, which must report `changed` on every host."""
    start = time.monotonic()
    results = hosts.playbook(tasks, FORKS)
    elapsed = time.monotonic() - start
    failed = [host for host, result in results.items()
              if result.get("failed") or result.get("changed") != changed]
    if failed or len(results) != HOSTS:
        sys.exit("the play failed on %s" % (failed or "some hosts"))
    return elapsed


def main():
    fleet.enter_private_namespace()
    if not os.access(BINARY, os.X_OK):
        sys.exit("build quiplexlnx first (cmake --build --preset linux)")
    hosts = fleet.Fleet(HOSTS)
    try:
        hosts.install_collection()
        floor_task = "    - ansible.builtin.command: /bin/true\n      changed_when: false\n"
        floor, written, kept = [], [], []
        for run in range(RUNS):
            floor.append(timed(hosts, floor_task, False))
            # Each run asks for another item, so every host reads, describes, writes and checks.
            written.append(timed(hosts, fleet.oneshot_task(BINARY, selection=str(run + 1)), True))
            kept.append(timed(hosts, fleet.oneshot_task(BINARY, selection=str(run + 1)), False))
        if hosts.reboot_calls():
            sys.exit("a reboot stub was called")
    finally:
        hosts.close()
    base = statistics.median(floor)
    print("%d hosts, forks %d, medians of %d runs" % (HOSTS, FORKS, RUNS))
    print("ansible.builtin.command /bin/true : %6.2f s" % base)
    for what, times in (("oneshot, request written", written),
                        ("oneshot, request already there", kept)):
        median = statistics.median(times)
        print("%-33s: %6.2f s  ratio %.3f" % (what, median, median / base))
    print("goal: ratio at most 1.25")


if __name__ == "__main__":
    main()
