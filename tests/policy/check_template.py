#!/usr/bin/env python3
"""The administrative template in res/policy against the program: every policy writes under the
program's policy key, every value it writes is one the program reads (and the README's IT section
names), and each language file defines every text and presentation the template refers to, with
presentation boxes for exactly the policy's elements.

Usage: check_template.py SOURCE_DIR"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
LANGUAGES = ["en-US", "de-DE"]
PROGRAM_FOLDERS = ["app", "common", "install", "local", "server", "ui"]

failures = []


def fail(text):
    failures.append(text)


def resource_string(root, name):
    """A string of the resource library's own table (ScUpRes.rc)."""
    text = (root / "res" / "ScUpRes.rc").read_text(encoding="utf-8")
    match = re.search(r"^\s*" + name + r'\s+"([^"]*)"', text, re.MULTILINE)
    if not match:
        fail(f"ScUpRes.rc has no {name}")
        return ""
    return match.group(1)


def program_text(root):
    text = ""
    for folder in PROGRAM_FOLDERS:
        for path in sorted((root / folder).glob("*.cpp")):
            text += path.read_text(encoding="utf-8")
    return text


def main():
    root = pathlib.Path(sys.argv[1])
    policy = root / "res" / "policy"
    admx = ET.parse(policy / "ScUpdater.admx").getroot()
    # The key the program reads: its registry key (string 500) and profile name (501).
    key = "Software\\Policies\\{}\\{}".format(resource_string(root, "IDS_REGISTRY_KEY"),
                                              resource_string(root, "IDS_PROFILE_NAME"))
    source = program_text(root)
    readme = (root / "README.md").read_text(encoding="utf-8")

    strings, presentations, elements = set(), {}, {}
    raw = (policy / "ScUpdater.admx").read_text(encoding="utf-8")
    strings.update(re.findall(r"\$\(string\.([A-Za-z0-9_]+)\)", raw))
    value_names = []
    for item in admx.iterfind(".//p:policies/p:policy", NS):
        name = item.get("name")
        if item.get("key") != key:
            fail(f"{name}: writes under {item.get('key')!r}, not the program's policy key")
        if item.get("class") != "Machine":
            fail(f"{name}: is not a computer policy")
        if item.get("valueName"):
            value_names.append(item.get("valueName"))
        ids = []
        for element in item.findall("p:elements/*", NS):
            ids.append(element.get("id"))
            value_names.append(element.get("valueName"))
        match = re.fullmatch(r"\$\(presentation\.([A-Za-z0-9_]+)\)", item.get("presentation") or "")
        if ids and not match:
            fail(f"{name}: has elements but no presentation")
        if match:
            presentations[match.group(1)] = ids
    for value in value_names:
        # A setting the program reads by name (L"Name"), and one the README's IT section shows.
        if f'L"{value}"' not in source:
            fail(f"the template sets {value}, which the program never reads")
        if f"`{value}`" not in readme:
            fail(f"the README does not name {value}")

    for language in LANGUAGES:
        adml = ET.parse(policy / language / "ScUpdater.adml").getroot()
        defined = {s.get("id") for s in adml.iterfind(".//p:stringTable/p:string", NS)}
        for missing in sorted(strings - defined):
            fail(f"{language}: no text {missing}")
        for extra in sorted(defined - strings):
            fail(f"{language}: text {extra} is used by no policy")
        shown = {p.get("id"): p for p in adml.iterfind(".//p:presentationTable/p:presentation", NS)}
        for pid, ids in presentations.items():
            if pid not in shown:
                fail(f"{language}: no presentation {pid}")
                continue
            boxes = [box.get("refId") for box in shown[pid]]
            if sorted(boxes) != sorted(ids):
                fail(f"{language}: presentation {pid} shows {boxes}, the policy has {ids}")

    for text in failures:
        print("FAIL -", text)
    print(f"{len(value_names)} values, {len(strings)} texts, {len(presentations)} presentations, "
          f"{len(LANGUAGES)} languages: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
