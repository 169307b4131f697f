# The message table of the built keyprep.exe holds every event that readme.txt and INSTALL.txt
# list, each text with exactly the insertion strings that the list gives, and no other.
import re, struct, sys

exe, docs = sys.argv[1], sys.argv[2]
data = open(exe, "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
sections = [struct.unpack_from("<8s4xI4xI", data, pe + 24 + optional + 40 * i) for i in range(count)]
_, rsrc_rva, rsrc = next(s for s in sections if s[0].rstrip(b"\0") == b".rsrc")


def entry(directory, wanted=None):  # the offset that an ID (or the first entry) leads to
    named, ids = struct.unpack_from("<HH", data, rsrc + directory + 12)
    for i in range(named + ids):
        name, offset = struct.unpack_from("<II", data, rsrc + directory + 16 + 8 * i)
        if wanted is None or name == wanted:
            return offset & 0x7FFFFFFF


table = rsrc + struct.unpack_from("<I", data, rsrc + entry(entry(entry(0, 11), 1)))[0] - rsrc_rva
messages = {}
for block in range(struct.unpack_from("<I", data, table)[0]):
    low, high, at = struct.unpack_from("<III", data, table + 4 + 12 * block)
    for number in range(low, high + 1):
        length, unicode = struct.unpack_from("<HH", data, table + at)
        messages[number] = data[table + at + 4:table + at + length].decode("utf-16-le" if unicode else "cp1252")
        at += length
used = {i: sorted(set(map(int, re.findall(r"%(\d+)", text)))) for i, text in messages.items()}
findings = []
for doc in ("readme.txt", "INSTALL.txt"):
    listed = {int(i): int(n) for i, n in re.findall(r"^  (\d{3})  +(?:Information|Warning|Error)  +(\d+)  ", open(f"{docs}/{doc}").read(), re.M)}
    findings += [f"{doc} lists no events"] if not listed else []
    findings += [f"{doc}: event {i} is not in the message table" for i in listed if i not in messages]
    findings += [f"{doc} does not list event {i}" for i in messages if i not in listed]
    findings += [f"{doc}: event {i} has the strings {used[i]}, not 1 to {n}"
                 for i, n in listed.items() if i in used and used[i] != list(range(1, n + 1))]
print("".join(f"FAIL: {finding}\n" for finding in findings) + f"{int(not findings)} passed, {len(findings)} failed")
sys.exit(1 if findings else 0)
