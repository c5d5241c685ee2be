"""Times quiplex.boot.oneshot on 20 namespaced hosts against Ansible's own floor on them."""
import os
import statistics
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "ansible"))
import fleet  # noqa: E402

HOSTS, FORKS = 20, 10
RUNS = int(os.environ.get("QUIPLEX_BENCH_RUNS", "5"))
GOAL = 1.25


def median_seconds(hosts, tasks_of_run, changed):
    """Median wall time of RUNS playbook runs; tasks_of_run(i) gives run i's tasks, which must
    report `changed` on every host."""
    times = []
    for i in range(RUNS):
        started = time.monotonic()
        results = hosts.playbook(tasks_of_run(i), FORKS)
        times.append(time.monotonic() - started)
        failed = [host for host, result in results.items()
                  if result.get("failed") or result.get("changed") != changed]
        if failed or len(results) != HOSTS:
            sys.exit("run %d failed on %s: %s" % (i, failed, results.get(failed[0]) if failed
                                                  else sorted(results)))
    return statistics.median(times)


def main():
    fleet.enter_private_namespace()
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                             else os.path.join(TOP, "build", "linux", "linux", "quiplexlnx"))
    hosts = fleet.Fleet(HOSTS)
    try:
        hosts.install_collection(os.environ.get("QUIPLEX_COLLECTION_TARBALL"))
        floor = median_seconds(hosts, lambda i: "    - ansible.builtin.command: /bin/true\n", True)
        # Every run writes on every host: status, dry run, write, status read back.
        writing = median_seconds(hosts, lambda i: fleet.oneshot_task(
            binary, selection=str(i % 2 + 1), run_file="tools\\bench.efi"), True)
        # The same request again: status and dry run only (one run first sets it).
        hosts.playbook(fleet.oneshot_task(binary, selection="7"), FORKS)
        unchanged = median_seconds(hosts, lambda i: fleet.oneshot_task(binary, selection="7"),
                                   False)
        if hosts.reboot_calls():
            sys.exit("the reboot stub was called on %s" % hosts.reboot_calls())
    finally:
        hosts.close()
    print("%d hosts, forks %d, median of %d runs of ansible-playbook" % (HOSTS, FORKS, RUNS))
    print("  ansible.builtin.command /bin/true   %6.2f s" % floor)
    print("  quiplex.boot.oneshot, writing        %6.2f s   ratio %.3f" % (writing,
                                                                          writing / floor))
    print("  quiplex.boot.oneshot, unchanged      %6.2f s   ratio %.3f" % (unchanged,
                                                                          unchanged / floor))
    ratio = max(writing, unchanged) / floor
    print("oneshot / floor: %.3f (goal: at most %.2f)" % (ratio, GOAL))


if __name__ == "__main__":
    main()
