# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Prints one JSON object: each host's whole result of the play's last task, "failed" and "diff"
# included (the callbacks that ship with ansible-core leave them out).
import json

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "stdout"
    CALLBACK_NAME = "fleet_results"

    def __init__(self):
        super().__init__()
        self.results = {}

    def record(self, result, failed):
        self.results[result._host.get_name()] = dict(result._result, failed=failed)

    def v2_runner_on_ok(self, result):
        self.record(result, False)

    # Callbacks get a cleaned copy without "failed": which method is called tells it.
    def v2_runner_on_failed(self, result, ignore_errors=False):
        self.record(result, True)

    v2_runner_on_unreachable = v2_runner_on_failed

    def v2_playbook_on_stats(self, stats):
        self._display.display(json.dumps(self.results, default=str))
