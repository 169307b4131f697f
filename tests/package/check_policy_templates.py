# Each policy of the templates sets a value of the program's table (src/core/policy.h) as the
# program takes it, and each string that keyprep.admx names is in each .adml. Run by ctest.
import re, sys, xml.etree.ElementTree as ET

source, ns = sys.argv[1], {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
header = open(f"{source}/src/core/policy.h").read()
key = re.search(r'kPolicyKey\[\] = "(.*)";', header).group(1).replace("\\\\", "\\")
table = {name: (kind, eval(low, {"MAX_PATH": 260}), eval(high, {"MAX_PATH": 260}))
         for name, kind, low, high in re.findall(r'\{"(\w+)", PolicyKind::(\w+), ([^,]+), ([^}]+)\}', header)}
findings = [] if table else ["no table of policy values in src/core/policy.h"]
admx = ET.parse(f"{source}/src/res/policy/keyprep.admx").getroot()
for policy in admx.iterfind("p:policies/p:policy", ns):
    values = [(policy.get("valueName"), "Switch", [int(v.get("value")) for v in policy.iterfind(".//p:decimal", ns)])]
    values += [(t.get("valueName"), "Folder", [int(t.get("maxLength"))]) for t in policy.iterfind(".//p:text", ns)]
    for value, kind, numbers in (v for v in values if v[0]):
        taken = table.pop(value, ("none", 1, 0))  # each value once
        if policy.get("key") != key or taken[0] != kind or not numbers or any(not taken[1] <= n <= taken[2] for n in numbers):
            findings.append(f"{policy.get('key')}\\{value} as {kind} {numbers} is no value that the program takes")
findings += [f"no policy sets {value}" for value in table]
for language in ("en-US", "de-DE"):
    adml = ET.tostring(ET.parse(f"{source}/src/res/policy/{language}/keyprep.adml").getroot(), encoding="unicode")
    for kind, ref in set(re.findall(r"\$\((string|presentation)\.(\w+)\)", ET.tostring(admx, encoding="unicode"))):
        findings += [] if re.search(rf'<ns0:{kind} id="{ref}"', adml) else [f"{language}: no {kind} {ref}"]
print("".join(f"FAIL: {finding}\n" for finding in findings) + f"{int(not findings)} passed, {len(findings)} failed")
sys.exit(1 if findings else 0)
