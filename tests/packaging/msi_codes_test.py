# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The codes in the MSI of build/packages, as msiinfo reads them: the ProductCode, the UpgradeCode
(Property and Upgrade tables), every ComponentId and the package code in upper case, and the
Property's UpgradeCode the very text of the Upgrade table's. Windows Installer wants upper case,
while Wine compares without regard to case, so the install tests alone would not notice.
Usage: msi_codes_test.py SOURCE_DIR, after scripts/package.sh (the packages test runs it).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ["QUIPLEX_SOURCE_DIR"]
VERSION = re.search(r"project\(quiplex VERSION ([0-9.]+)",
                    open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
MSI = os.path.join(SOURCE, "build", "packages", "quiplexu-%s-x64.msi" % VERSION)
GUID = re.compile(r"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}")


def rows(msi, table):
    """The table's rows as dicts; msiinfo writes the column names, types and the key first."""
    text = subprocess.run(["msiinfo", "export", msi, table], capture_output=True, text=True,
                          check=True).stdout
    lines = text.rstrip("\n").split("\n")
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[3:]]


def code_faults(msi):
    faults = []

    def check(where, code):
        if not GUID.fullmatch(code):
            faults.append("%s: %r is not a GUID in braces" % (where, code))
        elif code != code.upper():
            faults.append("%s: %s has lower-case letters" % (where, code))

    properties = {row["Property"]: row["Value"] for row in rows(msi, "Property")}
    for name in ("ProductCode", "UpgradeCode"):
        check("Property " + name, properties.get(name, ""))
    upgrades = rows(msi, "Upgrade")
    if not upgrades:
        faults.append("Upgrade: no rows")
    for row in upgrades:
        where = "Upgrade %s" % row["ActionProperty"]
        check(where, row["UpgradeCode"])
        if row["UpgradeCode"] != properties.get("UpgradeCode"):
            faults.append("%s: %s differs from the Property's UpgradeCode %s"
                          % (where, row["UpgradeCode"], properties.get("UpgradeCode")))
    for row in rows(msi, "Component"):
        check("Component " + row["Component"], row["ComponentId"])
    check("Summary package code", summary(msi).get("Revision number (UUID)", ""))
    return faults


def summary(msi):
    text = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True,
                          check=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


class MsiCodes(unittest.TestCase):
    def test_built_msi_has_its_codes_in_upper_case_and_one_upgrade_code(self):
        self.assertEqual(code_faults(MSI), [])

    def test_a_changed_code_is_found(self):
        properties = {row["Property"]: row["Value"] for row in rows(MSI, "Property")}
        upgrade, product = properties["UpgradeCode"], properties["ProductCode"]
        component = rows(MSI, "Component")[0]
        info = summary(MSI)
        package = info["Revision number (UUID)"]
        downgrade = [row for row in rows(MSI, "Upgrade") if row["Attributes"] == "2"][0]
        # One differing letter, still upper case: the two copies no longer name one product.
        other = upgrade[:-2] + ("0" if upgrade[-2] != "0" else "1") + "}"
        replace_downgrade = [
            "DELETE FROM `Upgrade` WHERE `Attributes` = 2",
            "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `Attributes`, `ActionProperty`)"
            " VALUES ('%s', '" + downgrade["VersionMin"] + "', 2, 'WIX_DOWNGRADE_DETECTED')"]
        cases = [
            (["UPDATE `Property` SET `Value` = '%s' WHERE `Property` = 'UpgradeCode'"
              % upgrade.lower()],
             ["Property UpgradeCode: %s has lower-case" % upgrade.lower(),
              "Upgrade WIX_UPGRADE_DETECTED: %s differs" % upgrade,
              "Upgrade WIX_DOWNGRADE_DETECTED: %s differs" % upgrade]),
            (["UPDATE `Property` SET `Value` = '%s' WHERE `Property` = 'ProductCode'"
              % product.lower()],
             ["Property ProductCode: %s has lower-case" % product.lower()]),
            (["UPDATE `Component` SET `ComponentId` = '%s' WHERE `Component` = '%s'"
              % (component["ComponentId"].lower(), component["Component"])],
             ["Component %s: %s has lower-case" % (component["Component"],
                                                    component["ComponentId"].lower())]),
            ([replace_downgrade[0], replace_downgrade[1] % upgrade.lower()],
             ["Upgrade WIX_DOWNGRADE_DETECTED: %s has lower-case" % upgrade.lower(),
              "Upgrade WIX_DOWNGRADE_DETECTED: %s differs" % upgrade.lower()]),
            ([replace_downgrade[0], replace_downgrade[1] % other],
             ["Upgrade WIX_DOWNGRADE_DETECTED: %s differs" % other]),
            (["-s", info["Subject"], info["Author"], info["Template"], package.lower()],
             ["Summary package code: %s has lower-case" % package.lower()]),
            (["DELETE FROM `Property` WHERE `Property` = 'UpgradeCode'"],
             ["Property UpgradeCode: '' is not a GUID",
              "Upgrade WIX_UPGRADE_DETECTED: %s differs" % upgrade,
              "Upgrade WIX_DOWNGRADE_DETECTED: %s differs" % upgrade]),
        ]
        with tempfile.TemporaryDirectory() as temp:
            for queries, expected in cases:
                with self.subTest(queries[-1]):
                    changed = os.path.join(temp, "changed.msi")
                    shutil.copyfile(MSI, changed)
                    command = ["msibuild", changed]
                    if queries[0] == "-s":
                        command += queries  # the summary: subject, author, template, code
                    else:
                        for query in queries:
                            command += ["-q", query]
                    subprocess.run(command, check=True, capture_output=True)
                    faults = code_faults(changed)
                    for text in expected:
                        self.assertTrue(any(f.startswith(text) for f in faults),
                                        "%r not in %r" % (text, faults))
                    self.assertEqual(len(faults), len(expected), faults)


if __name__ == "__main__":
    unittest.main(verbosity=2)
