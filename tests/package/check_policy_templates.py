#!/usr/bin/env python3
"""The Group Policy templates against the program's table of policy values (src/core/policy.h):
each file is XML; each policy sets, under the key that the program reads, a value of the table
with a type and range that the program takes; every value has a policy; every string and
presentation that keyprep.admx names is in each .adml. Usage: check_policy_templates.py SOURCE"""
import re
import sys
import xml.etree.ElementTree as ET

source = sys.argv[1]
ns = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
header = open(f"{source}/src/core/policy.h").read()
key = re.search(r'kPolicyKey\[\] = "(.*)";', header).group(1).replace("\\\\", "\\")
table = {name: (kind, eval(low, {"MAX_PATH": 260}), eval(high, {"MAX_PATH": 260}))
         for name, kind, low, high in re.findall(r'\{"(\w+)", PolicyKind::(\w+), ([^,]+), ([^}]+)\}', header)}
findings = [] if table else ["no table of policy values in src/core/policy.h"]
folder = f"{source}/src/res/policy"
admx = ET.parse(f"{folder}/keyprep.admx").getroot()
covered = set()
for policy in admx.iterfind("p:policies/p:policy", ns):
    name = policy.get("name")
    if policy.get("key") != key or policy.get("class") != "Both":
        findings.append(f"{name}: key {policy.get('key')}, class {policy.get('class')}")
    values = [(policy.get("valueName"), "Switch", [int(v.get("value")) for v in policy.iterfind(".//p:decimal", ns)])]
    values += [(text.get("valueName"), "Folder", [int(text.get("maxLength"))])
               for text in policy.iterfind("p:elements/p:text", ns)]
    for value, kind, numbers in values:
        if value is None:
            continue
        covered.add(value)
        expected = table.get(value, (None, 0, 0))
        if expected[0] != kind or any(n < expected[1] or n > expected[2] for n in numbers) or not numbers:
            findings.append(f"{name}: {value} as {kind} {numbers}, but the program reads {expected}")
findings += [f"no policy sets {value}" for value in table.keys() - covered]
text = ET.tostring(admx, encoding="unicode")
for language in ("en-US", "de-DE"):
    adml = ET.parse(f"{folder}/{language}/keyprep.adml").getroot()
    for kind, path in (("string", "p:resources/p:stringTable/p:string"),
                       ("presentation", "p:resources/p:presentationTable/p:presentation")):
        have = {item.get("id") for item in adml.iterfind(path, ns)}
        findings += [f"{language}: no {kind} {ref}" for ref in set(re.findall(rf"\$\({kind}\.(\w+)\)", text)) - have]
for finding in findings:
    print(f"FAIL: {finding}")
print(f"{int(not findings)} passed, {len(findings)} failed")
sys.exit(1 if findings else 0)
