# The message table of the built keyprep.exe holds every event that readme.txt and INSTALL.txt
# list, each text with exactly the insertion strings that the list gives, and no other.
import re, struct, sys

data, docs = open(sys.argv[1], "rb").read(), sys.argv[2]
u16, u32 = (lambda at: struct.unpack_from("<H", data, at)[0]), (lambda at: struct.unpack_from("<I", data, at)[0])
pe = u32(0x3C)
headers = pe + 24 + u16(pe + 20)
rva, rsrc = next((u32(h + 12), u32(h + 20)) for h in range(headers, headers + 40 * u16(pe + 6), 40) if data[h:h + 6] == b".rsrc\0")
# Where an ID (or the first entry) of a resource directory leads: type 11, name 1, a language.
def entry(directory, wanted=None):
    first, count = rsrc + directory + 16, u16(rsrc + directory + 12) + u16(rsrc + directory + 14)
    return next(u32(at + 4) & 0x7FFFFFFF for at in range(first, first + 8 * count, 8) if wanted in (None, u32(at)))


table = rsrc + u32(rsrc + entry(entry(entry(0, 11), 1))) - rva
used = {}
for block in range(u32(table)):
    low, high, at = struct.unpack_from("<III", data, table + 4 + 12 * block)
    for number in range(low, high + 1):
        text = data[table + at + 4:table + at + u16(table + at)].decode("utf-16-le" if u16(table + at + 2) else "cp1252")
        used[number], at = sorted(set(map(int, re.findall(r"%(\d+)", text)))), at + u16(table + at)
findings = []
for doc in ("readme.txt", "INSTALL.txt"):
    listed = {int(i): int(n) for i, n in re.findall(r"^  (\d{3})  +(?:Information|Warning|Error)  +(\d+)  ", open(f"{docs}/{doc}").read(), re.M)}
    findings += [f"{doc} does not list event {i}" for i in used if i not in listed]
    findings += [f"{doc}: event {i} has the strings {used.get(i)}, not 1 to {n}" for i, n in listed.items() if used.get(i) != list(range(1, n + 1))]
print("".join(f"FAIL: {finding}\n" for finding in findings) + f"{int(not findings)} passed, {len(findings)} failed")
sys.exit(1 if findings else 0)
