#!/usr/bin/env python3
"""Checks the package managers' manifests that scripts/package wrote beside the release.

Usage: check-manifests.py DIST VERSION [RESULT_FILE]
Reads dist/winget/*.yaml (winget's multi-file form) and dist/zorvex.json (Scoop) as their clients
would, checks each field their schemas require and that each hash is the file's own. Writes one
"pass NAME" or "fail NAME: why" line per check to RESULT_FILE (scripts/test counts them) and to
standard output; exits 1 when any failed. A self-test then makes known faults in copies of the
manifests and expects the checks to find each.
"""
import hashlib
import json
import pathlib
import re
import sys
import zipfile

import yaml

# Schema 1.6.0: the fields each manifest must hold, and every field it may hold at the top.
WINGET_REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
                      "ShortDescription", "ManifestType", "ManifestVersion"],
}
WINGET_ALLOWED = {
    "version": set(WINGET_REQUIRED["version"]),
    "installer": set(WINGET_REQUIRED["installer"]) | {
        "InstallerType", "Scope", "InstallModes", "InstallerSwitches", "UpgradeBehavior", "ReleaseDate",
        "InstallerLocale", "Platform", "MinimumOSVersion", "Commands", "FileExtensions", "Dependencies"},
    "defaultLocale": set(WINGET_REQUIRED["defaultLocale"]) | {
        "PublisherUrl", "PublisherSupportUrl", "PrivacyUrl", "Author", "PackageUrl", "LicenseUrl", "Copyright",
        "CopyrightUrl", "Description", "Moniker", "Tags", "ReleaseNotes", "ReleaseNotesUrl"},
}
INSTALLER_REQUIRED = ["Architecture", "InstallerUrl", "InstallerSha256"]
# Lengths the schema allows for the locale's texts.
TEXT_LENGTHS = {"Publisher": (2, 256), "PackageName": (2, 256), "License": (3, 512), "ShortDescription": (3, 256),
                "ReleaseNotes": (1, 10000)}
PERSISTED = {"options.xml", "rules.xml", "zorvex.log"}


class Checks:
    def __init__(self):
        self.lines = []

    def check(self, name, ok, why=""):
        self.lines.append(f"pass {name}" if ok else f"fail {name}: {why}")
        return ok


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def version_at_least(text, least):
    try:
        return [int(p) for p in str(text).split(".")] >= least
    except ValueError:
        return False


def check_winget(c, folder, version, setup):
    documents = {}
    for path in sorted(folder.glob("*.yaml")):
        try:
            doc = yaml.safe_load(path.read_text(encoding="utf-8"))
        except yaml.YAMLError as error:
            c.check(f"winget {path.name} parses", False, str(error).replace("\n", " "))
            continue
        if not c.check(f"winget {path.name} parses", isinstance(doc, dict), "not a mapping"):
            continue
        documents[doc.get("ManifestType")] = (path.name, doc)
    if not c.check("winget has the version, installer and defaultLocale files",
                   sorted(documents) == sorted(WINGET_REQUIRED), f"found {sorted(map(str, documents))}"):
        return
    for kind, (name, doc) in documents.items():
        missing = [f for f in WINGET_REQUIRED[kind] if doc.get(f) in (None, "", [])]
        c.check(f"winget {name} holds every required field", not missing, f"missing {missing}")
        unknown = sorted(set(doc) - WINGET_ALLOWED[kind])
        c.check(f"winget {name} holds only fields of its schema", not unknown, f"unknown {unknown}")
        c.check(f"winget {name} is schema 1.6 or newer", version_at_least(doc.get("ManifestVersion", "0"), [1, 6]),
                doc.get("ManifestVersion"))
        # Read as text, not as a number: a version 1.10 must not become 1.1.
        c.check(f"winget {name} is of this release",
                doc.get("PackageIdentifier") == documents["version"][1]["PackageIdentifier"]
                and doc.get("PackageVersion") == version and isinstance(doc.get("ManifestVersion"), str),
                f"{doc.get('PackageIdentifier')!r} {doc.get('PackageVersion')!r} {doc.get('ManifestVersion')!r}")
    c.check("winget identifier is Publisher.Package",
            re.fullmatch(r"[^.\s\\/:*?\"<>|]{1,32}(\.[^.\s\\/:*?\"<>|]{1,32}){1,7}",
                         str(documents["version"][1]["PackageIdentifier"])) is not None, "")

    installer = documents["installer"][1]
    c.check("winget installer is nullsoft for the user alone, upgraded by installing",
            (installer.get("InstallerType"), installer.get("Scope"), installer.get("UpgradeBehavior"))
            == ("nullsoft", "user", "install"), repr(installer))
    switches = installer.get("InstallerSwitches") or {}
    c.check("winget installer's silent switches are /S",
            switches.get("Silent") == "/S" and switches.get("SilentWithProgress") == "/S", repr(switches))
    entries = installer.get("Installers") or []
    if c.check("winget installer lists one installer", len(entries) == 1 and isinstance(entries[0], dict), repr(entries)):
        entry = entries[0]
        missing = [f for f in INSTALLER_REQUIRED if not entry.get(f)]
        c.check("winget installer entry holds every required field", not missing, f"missing {missing}")
        c.check("winget installer is x86", entry.get("Architecture") == "x86", entry.get("Architecture"))
        c.check("winget installer's address is https and names the installer",
                str(entry.get("InstallerUrl", "")).startswith("https://")
                and str(entry.get("InstallerUrl", "")).endswith("/" + setup.name), entry.get("InstallerUrl"))
        c.check("winget installer's hash is the installer's own",
                str(entry.get("InstallerSha256", "")).lower() == sha256(setup), entry.get("InstallerSha256"))

    locale_name, locale = documents["defaultLocale"]
    c.check("winget locale is the version file's default",
            locale.get("PackageLocale") == documents["version"][1].get("DefaultLocale"), locale.get("PackageLocale"))
    for field, (least, most) in TEXT_LENGTHS.items():
        if field in locale:
            text = locale[field]
            c.check(f"winget {locale_name} {field} length", isinstance(text, str) and least <= len(text) <= most,
                    repr(text))


def check_scoop(c, path, version, archive):
    try:
        doc = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError) as error:
        c.check("scoop manifest parses", False, str(error))
        return
    c.check("scoop manifest parses", isinstance(doc, dict), "not an object")
    c.check("scoop version is this release's", doc.get("version") == version, doc.get("version"))
    for field in ("description", "homepage", "license"):
        c.check(f"scoop {field} is given", isinstance(doc.get(field), str) and doc[field] != "", repr(doc.get(field)))
    url = str(doc.get("url", ""))
    c.check("scoop address is https and names the zip", url.startswith("https://") and url.endswith("/" + archive.name),
            url)
    c.check("scoop hash is the zip's own", str(doc.get("hash", "")).lower() == sha256(archive), doc.get("hash"))
    with zipfile.ZipFile(archive) as z:
        names = set(z.namelist())
    inside = f"{doc.get('extract_dir')}/zorvex.exe"
    c.check("scoop extract_dir holds zorvex.exe", inside in names, inside)
    c.check("scoop makes a shortcut to zorvex.exe",
            any(isinstance(s, list) and s[:1] == ["zorvex.exe"] and len(s) >= 2 for s in doc.get("shortcuts", [])),
            repr(doc.get("shortcuts")))
    c.check("scoop persists the options, the rules and the log", set(doc.get("persist", [])) == PERSISTED,
            repr(doc.get("persist")))
    script = "\n".join(doc.get("pre_install", [])) if isinstance(doc.get("pre_install"), list) else ""
    c.check("scoop pre_install makes each persisted name an empty file when missing",
            all(f"'{name}'" in script for name in PERSISTED) and "$persist_dir" in script and "New-Item" in script
            and "-ItemType File" in script, script)
    c.check("scoop checkver is given", isinstance(doc.get("checkver"), (dict, str)) and doc["checkver"] != {},
            repr(doc.get("checkver")))
    auto = doc.get("autoupdate") or {}
    c.check("scoop autoupdate's address is this one's with $version",
            auto.get("url", "").replace("$version", version) == url and "$version" in auto.get("url", ""),
            auto.get("url"))


def check_all(dist, version):
    c = Checks()
    check_winget(c, dist / "winget", version, dist / f"zorvex-{version}-setup.exe")
    check_scoop(c, dist / "zorvex.json", version, dist / f"zorvex-{version}-win32.zip")
    return c


# Faults the checks must see, each made in a copy of the release: (what, file, text, replacement).
FAULTS = [
    ("installer hash of another file", "winget/Zorvex.Zorvex.installer.yaml", r'InstallerSha256: "[0-9A-F]{64}"',
     'InstallerSha256: "' + "0" * 64 + '"'),
    ("schema older than 1.6", "winget/Zorvex.Zorvex.yaml", r'ManifestVersion: "1\.6\.0"', 'ManifestVersion: "1.5.0"'),
    ("version read as a number", "winget/Zorvex.Zorvex.yaml", r'PackageVersion: "([^"]*)"', r"PackageVersion: 3.1"),
    ("license missing", "winget/Zorvex.Zorvex.locale.en-US.yaml", r'License: "[^"]*"\n', ""),
    ("installer for everyone", "winget/Zorvex.Zorvex.installer.yaml", r'Scope: "user"', 'Scope: "machine"'),
    ("a misspelt field", "winget/Zorvex.Zorvex.installer.yaml", r"UpgradeBehavior", "UpgradeBehaviour"),
    ("broken YAML", "winget/Zorvex.Zorvex.yaml", r"DefaultLocale: ", "DefaultLocale: [ "),
    ("zip hash of another file", "zorvex.json", r'"hash": "[0-9a-f]{64}"', '"hash": "' + "0" * 64 + '"'),
    ("the log not persisted", "zorvex.json", r'"zorvex.log"\n', '"zorvex.log.old"\n'),
    ("no empty files made", "zorvex.json", r"New-Item", "Write-Host"),
]


def self_test(dist, version):
    """Each fault in FAULTS makes at least one check fail; the release as it is makes none."""
    import shutil
    import tempfile
    c = Checks()
    c.check("self-test: the release passes", not any(l.startswith("fail") for l in check_all(dist, version).lines))
    for what, name, pattern, replacement in FAULTS:
        with tempfile.TemporaryDirectory() as scratch:
            copy = pathlib.Path(scratch) / "dist"
            shutil.copytree(dist, copy)
            text = (copy / name).read_text(encoding="utf-8")
            changed = re.sub(pattern, replacement, text, count=1)
            (copy / name).write_text(changed, encoding="utf-8")
            found = any(l.startswith("fail") for l in check_all(copy, version).lines)
            c.check(f"self-test: {what} is found", changed != text and found,
                    "the fault was not found" if changed != text else f"{pattern} is not in {name}")
    return c


def main():
    dist, version = pathlib.Path(sys.argv[1]), sys.argv[2]
    c = check_all(dist, version)
    c.lines += self_test(dist, version).lines
    text = "\n".join(c.lines) + "\n"
    sys.stdout.write(text)
    if len(sys.argv) > 3:
        pathlib.Path(sys.argv[3]).write_text(text)
    return 1 if any(line.startswith("fail") for line in c.lines) else 0


if __name__ == "__main__":
    sys.exit(main())
