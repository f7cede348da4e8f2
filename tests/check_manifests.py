#!/usr/bin/env python3
"""Checks the package-manager manifests against the rules each format publishes (winget's
manifest schema 1.6.0, Scoop's app manifest), and every hash against its file.

    tests/check_manifests.py OUT ZIP MSI        exit status 1 on any fault
"""
import hashlib
import json
import os
import re
import sys

faults = []


def check(condition, what):
    if not condition:
        faults.append(what)


def read_yaml(path):
    """The YAML scripts/manifests writes: scalars, lists, one list of mappings."""
    data, key = {}, None
    for line in open(path, encoding="utf-8").read().splitlines():
        if not line or line.startswith("#"):
            continue
        if line.startswith("- ") or line.startswith("  "):
            item = line[2:]
            if ": " in item:
                inner, value = item.split(": ", 1)
                if line.startswith("- "):
                    data[key].append({})
                data[key][-1][inner] = value.strip("'")
            else:
                data[key].append(item)
        else:
            key, _, value = line.partition(":")
            data[key] = value.strip().strip("'") if value.strip() else []
    return data


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


# winget manifest schema 1.6.0: patterns and bounds.
IDENTIFIER = r"^[^\.\s\\/:\*\?\"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?\"<>\|\x01-\x1f]{1,32}){1,7}$"
VERSION = r"^[^\\/:\*\?\"<>\|\x01-\x1f]{1,128}$"
MANIFEST_VERSION = r"^(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])(\.(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])){2}$"
LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"


def check_winget(folder, msi):
    files = {kind: read_yaml(os.path.join(folder, f"Zephyrine.Zephyrine{suffix}.yaml"))
             for kind, suffix in [("version", ""), ("installer", ".installer"),
                                  ("defaultLocale", ".locale.en-US")]}
    for kind, data in files.items():
        for field in ("PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"):
            check(field in data, f"winget {kind}: {field} missing")
        check(re.match(IDENTIFIER, data.get("PackageIdentifier", "")), f"winget {kind}: identifier")
        check(re.match(VERSION, data.get("PackageVersion", "")), f"winget {kind}: version")
        check(re.match(MANIFEST_VERSION, data.get("ManifestVersion", "")), f"winget {kind}: schema")
        check(data.get("ManifestType") == kind, f"winget {kind}: ManifestType")
    check(re.match(LOCALE, files["version"].get("DefaultLocale", "")), "winget: DefaultLocale")
    installer = files["installer"]
    check(installer.get("InstallerType") == "wix", "winget: InstallerType")
    check(installer.get("Scope") == "user", "winget: Scope")
    check(re.match(r"^\{[0-9A-F-]{36}\}$", installer.get("ProductCode", "")), "winget: ProductCode")
    entries = installer.get("Installers", [])
    check(len(entries) == 1, "winget: one installer")
    for entry in entries:
        check(entry.get("Architecture") == "x64", "winget: Architecture")
        check(re.match(URL, entry.get("InstallerUrl", "")), "winget: InstallerUrl")
        check(re.match(r"^[A-Fa-f0-9]{64}$", entry.get("InstallerSha256", "")), "winget: hash format")
        check(entry.get("InstallerSha256", "").lower() == sha256(msi), "winget: hash of the MSI")
    locale = files["defaultLocale"]
    check(re.match(LOCALE, locale.get("PackageLocale", "")), "winget: PackageLocale")
    for field, low, high in [("Publisher", 2, 256), ("PackageName", 2, 256), ("License", 3, 512),
                             ("ShortDescription", 3, 256)]:
        check(low <= len(locale.get(field, "")) <= high, f"winget: {field}")
    tags = locale.get("Tags", [])
    check(0 < len(tags) <= 16 and all(0 < len(t) <= 40 and " " not in t for t in tags), "winget: Tags")
    for field in ("ReleaseNotesUrl", "PublisherUrl", "PackageUrl"):
        check(re.match(URL, locale.get(field, "")), f"winget: {field}")


def check_scoop(path, zip_file):
    data = json.load(open(path, encoding="utf-8"))
    for field in ("version", "description", "homepage", "license", "url", "hash", "bin",
                  "shortcuts", "checkver", "autoupdate", "pre_install", "uninstaller"):
        check(field in data, f"scoop: {field} missing")
    check(re.match(r"^[\w.\-+]+$", data.get("version", "")), "scoop: version")
    check(re.match(r"^(sha256:)?[a-fA-F0-9]{64}$", data.get("hash", "")), "scoop: hash format")
    check(data.get("hash", "").split(":")[-1].lower() == sha256(zip_file), "scoop: hash of the zip")
    for field in ("homepage", "url"):
        check(re.match(URL, data.get(field, "")), f"scoop: {field}")
    check(all(isinstance(s, list) and len(s) >= 2 for s in data.get("shortcuts", [])),
          "scoop: shortcuts are [target, name]")
    check("$version" in data.get("autoupdate", {}).get("url", ""), "scoop: autoupdate url")
    check(re.match(URL, data.get("checkver", {}).get("url", "")), "scoop: checkver url")
    script = " ".join(data.get("uninstaller", {}).get("script", []))
    check("taskkill" in script and "Startup\\Zephyrine.lnk" in script, "scoop: uninstaller")


if __name__ == "__main__":
    out, zip_file, msi = sys.argv[1:4]
    check_winget(os.path.join(out, "winget"), msi)
    check_scoop(os.path.join(out, "scoop", "zephyrine.json"), zip_file)
    for fault in faults:
        print("manifest fault:", fault)
    sys.exit(1 if faults else 0)
