#!/usr/bin/env python3
"""Checks the package managers' manifests that scripts/package wrote beside the release.

Usage: check-manifests.py DIST VERSION [RESULT_FILE]
Reads dist/winget/*.yaml (winget's multi-file form) and dist/zorvex.json (Scoop) as their clients
would, checks each field their schemas require and that each hash is the file's own. Then makes
known faults in copies of them and expects each to be found. Writes one "pass NAME" or
"fail NAME: why" line per check to RESULT_FILE (scripts/test counts them) and to standard output;
exits 1 when any failed.
"""
import hashlib
import json
import pathlib
import re
import shutil
import sys
import tempfile
import zipfile

import yaml

# Schema 1.6.0: the fields each manifest must hold, and the others it may hold at the top.
REQUIRED = {
    "version": {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"},
    "installer": {"PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"},
    "defaultLocale": {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
                      "ShortDescription", "ManifestType", "ManifestVersion"},
}
OPTIONAL = {
    "version": set(),
    "installer": {"InstallerType", "Scope", "InstallModes", "InstallerSwitches", "UpgradeBehavior", "ReleaseDate",
                  "InstallerLocale", "Platform", "MinimumOSVersion", "Commands", "FileExtensions", "Dependencies"},
    "defaultLocale": {"PublisherUrl", "PublisherSupportUrl", "PrivacyUrl", "Author", "PackageUrl", "LicenseUrl",
                      "Copyright", "CopyrightUrl", "Description", "Moniker", "Tags", "ReleaseNotes", "ReleaseNotesUrl"},
}
# Lengths the schema allows for the locale's texts.
LENGTHS = {"Publisher": (2, 256), "PackageName": (2, 256), "License": (3, 512), "ShortDescription": (3, 256),
           "ReleaseNotes": (1, 10000)}


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def at_least_1_6(text):
    try:
        return [int(p) for p in str(text).split(".")] >= [1, 6]
    except ValueError:
        return False


def winget(folder, version, setup):
    """(check, passed, what was found) for each check of winget's files."""
    docs = {}
    for path in sorted(folder.glob("*.yaml")):
        try:
            doc = yaml.safe_load(path.read_text(encoding="utf-8"))
        except yaml.YAMLError as error:
            doc = str(error).replace("\n", " ")
        yield f"winget {path.name} parses", isinstance(doc, dict), doc
        if isinstance(doc, dict):
            docs[doc.get("ManifestType")] = doc
    yield "winget has the version, installer and defaultLocale files", set(docs) == set(REQUIRED), list(docs)
    if set(docs) != set(REQUIRED):
        return
    for kind, doc in docs.items():
        yield f"winget {kind} holds every required field", REQUIRED[kind] <= set(doc), REQUIRED[kind] - set(doc)
        yield f"winget {kind} holds only its schema's fields", set(doc) <= REQUIRED[kind] | OPTIONAL[kind], list(doc)
        yield f"winget {kind} is schema 1.6 or newer", at_least_1_6(doc.get("ManifestVersion")), doc.get("ManifestVersion")
        # Text, not a number: a version 1.10 must not be read as 1.1.
        identity = (doc.get("PackageIdentifier"), doc.get("PackageVersion"))
        yield (f"winget {kind} is of this release", identity == (docs["version"]["PackageIdentifier"], version),
               identity)
    identifier = str(docs["version"]["PackageIdentifier"])
    yield "winget identifier is Publisher.Package", re.fullmatch(r"[^.\s]{1,32}(\.[^.\s]{1,32}){1,7}", identifier), identifier

    installer = docs["installer"]
    entries = installer.get("Installers") or [{}]
    entry = entries[0] if isinstance(entries[0], dict) else {}
    switches = installer.get("InstallerSwitches") or {}
    url = str(entry.get("InstallerUrl", ""))
    for name, got, expected in [
        ("installer is nullsoft", installer.get("InstallerType"), "nullsoft"),
        ("installer is for the user alone", installer.get("Scope"), "user"),
        ("installer upgrades by installing", installer.get("UpgradeBehavior"), "install"),
        ("installer's silent switches are /S", (switches.get("Silent"), switches.get("SilentWithProgress")),
         ("/S", "/S")),
        ("installer lists one x86 installer", (len(entries), entry.get("Architecture")), (1, "x86")),
        ("installer's address is https and names the installer",
         url.startswith("https://") and url.endswith("/" + setup.name), True),
        ("installer's hash is the installer's own", str(entry.get("InstallerSha256", "")).lower(), sha256(setup)),
        ("locale is the version file's default", docs["defaultLocale"].get("PackageLocale"),
         docs["version"].get("DefaultLocale")),
    ]:
        yield f"winget {name}", got == expected, got
    for field, (least, most) in LENGTHS.items():
        text = docs["defaultLocale"].get(field, "-" * least)
        yield f"winget locale's {field} length", isinstance(text, str) and least <= len(text) <= most, text


def scoop(path, version, archive):
    """(check, passed, what was found) for each check of Scoop's manifest."""
    try:
        doc = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError) as error:
        doc = str(error)
    yield "scoop manifest parses", isinstance(doc, dict), doc
    if not isinstance(doc, dict):
        return
    url, auto = str(doc.get("url", "")), doc.get("autoupdate") or {}
    with zipfile.ZipFile(archive) as z:
        names = set(z.namelist())
    script = "\n".join(doc.get("pre_install") or [])
    persisted = {"options.xml", "rules.xml", "zorvex.log"}
    for name, got in [
        ("version is this release's", doc.get("version") == version),
        ("description, homepage and license are given", all(doc.get(f) for f in ("description", "homepage", "license"))),
        ("address is https and names the zip", url.startswith("https://") and url.endswith("/" + archive.name)),
        ("hash is the zip's own", str(doc.get("hash", "")).lower() == sha256(archive)),
        ("extract_dir holds zorvex.exe", f"{doc.get('extract_dir')}/zorvex.exe" in names),
        ("a shortcut starts zorvex.exe", any(s[:1] == ["zorvex.exe"] and len(s) > 1 for s in doc.get("shortcuts", []))),
        ("persists the options, the rules and the log", set(doc.get("persist", [])) == persisted),
        ("pre_install makes each persisted name an empty file when missing",
         all(f"'{n}'" in script for n in persisted) and "$persist_dir" in script and "-ItemType File" in script),
        ("checkver is given", bool(doc.get("checkver"))),
        ("autoupdate's address is this one's with $version",
         "$version" in auto.get("url", "") and auto.get("url", "").replace("$version", version) == url),
    ]:
        yield f"scoop {name}", got, doc


def failures(dist, version):
    checks = list(winget(dist / "winget", version, dist / f"zorvex-{version}-setup.exe"))
    checks += scoop(dist / "zorvex.json", version, dist / f"zorvex-{version}-win32.zip")
    return checks, [name for name, passed, _ in checks if not passed]


# Faults the checks must find, each made in a copy of the release: what, file, text, replacement.
FAULTS = [
    ("installer hash of another file", "winget/Zorvex.Zorvex.installer.yaml", r'(Sha256: )"\w{64}"', r'\1"' + "0" * 64 + '"'),
    ("schema older than 1.6", "winget/Zorvex.Zorvex.yaml", r'"1\.6\.0"', '"1.5.0"'),
    ("version read as a number", "winget/Zorvex.Zorvex.yaml", r'PackageVersion: "[^"]*"', "PackageVersion: 3.1"),
    ("license missing", "winget/Zorvex.Zorvex.locale.en-US.yaml", r'License: "[^"]*"\n', ""),
    ("installer for everyone", "winget/Zorvex.Zorvex.installer.yaml", r'"user"', '"machine"'),
    ("a misspelt field", "winget/Zorvex.Zorvex.installer.yaml", r"UpgradeBehavior", "UpgradeBehaviour"),
    ("broken YAML", "winget/Zorvex.Zorvex.yaml", r"DefaultLocale: ", "DefaultLocale: [ "),
    ("zip hash of another file", "zorvex.json", r'("hash": )"\w{64}"', r'\1"' + "0" * 64 + '"'),
    ("the log not persisted", "zorvex.json", r'"zorvex.log"\n', '"zorvex.log.old"\n'),
    ("folders made for the persisted names", "zorvex.json", r"-ItemType File", "-ItemType Directory"),
]


def main():
    dist, version = pathlib.Path(sys.argv[1]), sys.argv[2]
    checks, _ = failures(dist, version)
    lines = [f"pass {name}" if passed else f"fail {name}: {found!r}"[:300] for name, passed, found in checks]
    for what, name, pattern, replacement in FAULTS:
        with tempfile.TemporaryDirectory() as scratch:
            copy = pathlib.Path(scratch) / "dist"
            shutil.copytree(dist, copy)
            text = (copy / name).read_text(encoding="utf-8")
            changed = re.sub(pattern, replacement, text, count=1)
            (copy / name).write_text(changed, encoding="utf-8")
            found = changed != text and failures(copy, version)[1]
            lines.append(f"pass fault found: {what}" if found else f"fail fault found: {what}: not made or not found")
    text = "\n".join(lines) + "\n"
    sys.stdout.write(text)
    if len(sys.argv) > 3:
        pathlib.Path(sys.argv[3]).write_text(text)
    return 1 if any(line.startswith("fail") for line in lines) else 0


if __name__ == "__main__":
    sys.exit(main())
