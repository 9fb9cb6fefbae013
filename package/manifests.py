#!/usr/bin/env python3
"""Writes the package managers' manifests of a release: winget's multi-file form and Scoop's JSON.

Usage: manifests.py --version V --zip ZIP --setup SETUP --download PATTERN --readme README.md
                    --date EPOCH --out DIR
PATTERN is the address of the folder a release's files are downloaded from, with {version} where
the version goes. Everything comes from the built files, the README and the facts below, so the
same inputs give the same bytes.
"""
import argparse
import datetime
import hashlib
import json
import pathlib
import re

# The facts the manifests tell about the program; the installer's own texts say the same.
IDENTIFIER = "Zorvex.Zorvex"
NAME = "Zorvex"
PUBLISHER = "The Zorvex developers"
LICENSE = "Freeware"
SHORT_DESCRIPTION = "Closes unwanted windows, browser popups and the nag screens of any program, from the notification area."
MANIFEST_VERSION = "1.6.0"
LOCALE = "en-US"
# Scoop keeps these between versions; the program writes them beside itself.
PERSISTED = ["options.xml", "rules.xml", "zorvex.log"]


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def release_notes(readme, version):
    """The README's list of changes ("## Changes"), this version's part when it has one."""
    text = pathlib.Path(readme).read_text(encoding="utf-8")
    section = re.search(r"^## Changes[^\n]*\n(.*?)(?=^## |\Z)", text, re.M | re.S)
    if not section:
        return None
    body = section.group(1)
    mine = re.search(r"^### v?" + re.escape(version) + r"(?![\w.])[^\n]*\n(.*?)(?=^### |\Z)", body, re.M | re.S)
    notes = (mine.group(1) if mine else body).strip()
    return notes[:10000] or None


def homepage(pattern):
    github = re.match(r"(https://github\.com/[^/]+/[^/]+)/releases/", pattern)
    if github:
        return github.group(1)
    return re.match(r"[a-z]+://[^/]+", pattern).group(0)


def yaml(pairs):
    """Key-value lines; every text is double-quoted (JSON's escapes are YAML's), so a version such
    as 1.10 stays text and no description can be read as YAML syntax."""
    lines = []

    def emit(key, value, indent):
        pad = " " * indent
        if isinstance(value, dict):
            lines.append(f"{pad}{key}:")
            for k, v in value.items():
                emit(k, v, indent + 2)
        elif isinstance(value, list):
            lines.append(f"{pad}{key}:")
            for item in value:
                if isinstance(item, dict):
                    # Each key one level in; the first line carries the item's dash.
                    first = len(lines)
                    for k, v in item.items():
                        emit(k, v, indent + 2)
                    lines[first] = pad + "- " + lines[first][indent + 2:]
                else:
                    lines.append(f"{pad}- {json.dumps(item, ensure_ascii=False)}")
        else:
            lines.append(f"{pad}{key}: {json.dumps(value, ensure_ascii=False)}")

    for key, value in pairs.items():
        emit(key, value, 0)
    return "\n".join(lines) + "\n"


def winget(args, out):
    schema = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.{}.%s.schema.json\n" % MANIFEST_VERSION
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": args.version}
    url = args.download.replace("{version}", args.version) + "/" + pathlib.Path(args.setup).name
    date = datetime.datetime.fromtimestamp(args.date, datetime.timezone.utc).strftime("%Y-%m-%d")
    installer = dict(head)
    installer.update({
        "InstallerType": "nullsoft",
        "Scope": "user",
        "InstallModes": ["interactive", "silent", "silentWithProgress"],
        "InstallerSwitches": {"Silent": "/S", "SilentWithProgress": "/S", "InstallLocation": "/D=<INSTALLPATH>"},
        "UpgradeBehavior": "install",
        "ReleaseDate": date,
        "Installers": [{"Architecture": "x86", "InstallerUrl": url, "InstallerSha256": sha256(args.setup).upper()}],
        "ManifestType": "installer",
        "ManifestVersion": MANIFEST_VERSION,
    })
    locale = dict(head)
    locale.update({
        "PackageLocale": LOCALE,
        "Publisher": PUBLISHER,
        "PackageName": NAME,
        "PackageUrl": homepage(args.download),
        "License": LICENSE,
        "ShortDescription": SHORT_DESCRIPTION,
        "Moniker": "zorvex",
    })
    notes = release_notes(args.readme, args.version)
    if notes:
        locale["ReleaseNotes"] = notes
    locale.update({"ManifestType": "defaultLocale", "ManifestVersion": MANIFEST_VERSION})
    version = dict(head)
    version.update({"DefaultLocale": LOCALE, "ManifestType": "version", "ManifestVersion": MANIFEST_VERSION})

    folder = out / "winget"
    folder.mkdir(parents=True, exist_ok=True)
    for name, kind, pairs in [(f"{IDENTIFIER}.installer.yaml", "installer", installer),
                              (f"{IDENTIFIER}.locale.{LOCALE}.yaml", "defaultLocale", locale),
                              (f"{IDENTIFIER}.yaml", "version", version)]:
        (folder / name).write_text(schema.format(kind) + yaml(pairs), encoding="utf-8", newline="\n")


def scoop(args, out):
    zip_name = pathlib.Path(args.zip).name
    folder = args.download.replace("{version}", args.version)
    # Scoop links each persisted name from its own store, and makes a folder of a name it finds
    # nowhere: each starts as an empty file, which the program reads as its defaults.
    pre_install = [
        "@(" + ", ".join(f"'{name}'" for name in PERSISTED) + ") | ForEach-Object {",
        "    if (!(Test-Path \"$persist_dir\\$_\")) { New-Item \"$dir\\$_\" -ItemType File | Out-Null }",
        "}",
    ]
    # Elsewhere than GitHub the page at the address's part before {version} must name the zips.
    github = re.match(r"(https://github\.com/[^/]+/[^/]+)/releases/", args.download)
    checkver = ({"github": github.group(1)} if github else
                {"url": args.download.split("{version}")[0], "regex": r"zorvex-([\d.]+)-win32\.zip"})
    manifest = {
        "version": args.version,
        "description": SHORT_DESCRIPTION,
        "homepage": homepage(args.download),
        "license": LICENSE,
        "url": folder + "/" + zip_name,
        "hash": sha256(args.zip),
        "extract_dir": NAME,
        "shortcuts": [["zorvex.exe", NAME]],
        "pre_install": pre_install,
        "persist": PERSISTED,
        "checkver": checkver,
        "autoupdate": {
            "url": args.download.replace("{version}", "$version") + "/" + zip_name.replace(args.version, "$version"),
            "extract_dir": NAME,
        },
    }
    (out / "zorvex.json").write_text(json.dumps(manifest, indent=4, ensure_ascii=False) + "\n", encoding="utf-8",
                                     newline="\n")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--version", "--zip", "--setup", "--download", "--readme", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--date", type=int, required=True)
    args = parser.parse_args()
    if "{version}" not in args.download:
        parser.error("--download must hold {version}")
    out = pathlib.Path(args.out)
    winget(args, out)
    scoop(args, out)


if __name__ == "__main__":
    main()
