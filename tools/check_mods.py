#!/usr/bin/python3
"""Checks the plugins and mods cardlift reads against an independent reading.

Usage: tools/check_mods.py CARDLIFT FILE_OR_FOLDER...

Runs `CARDLIFT --json -l --newer-games` on the files, then reads every record
it found again with python3-msgpack (Debian package python3-msgpack): the
record's block list (the first MessagePack map holding "lstInfo" after the
record's marker), its "KKEx" block, the map's keys and the sideloader's
resolve entries. Prints one line per record and exits 1 on any difference.
For trying the reader on real files by hand; the test suite builds its own.
"""
import json
import subprocess
import sys

import msgpack

SIDELOADERS = ("com.bepis.sideloader.universalautoresolver", "EC.Core.Sideloader.UniversalAutoResolver")


def reference(record):
    """The plugins and mods of one record's bytes, or None without a KKEx block."""
    at = record.find(b"\xa7lstInfo")
    if at < 1:
        return [], []
    unpacker = msgpack.Unpacker(raw=False, strict_map_key=False)
    unpacker.feed(record[at - 1:])
    blocks = next(unpacker)["lstInfo"]
    final = at - 1 + unpacker.tell() + 8  # after the list, the final section's 64-bit length
    plugins, mods = [], []
    for block in blocks:
        if block["name"] != "KKEx":
            continue
        data = msgpack.unpackb(record[final + block["pos"]:final + block["pos"] + block["size"]],
                               raw=False, strict_map_key=False)
        for guid, value in data.items():
            plugins.append(guid)
            if guid in SIDELOADERS and value:
                for entry in value[1].get("info", []):
                    e = msgpack.unpackb(entry, raw=False, strict_map_key=False)
                    known = next((m for m in mods if m["id"] == e["ModID"]), None)
                    if known is None:
                        known = {"id": e["ModID"], "name": None, "author": None, "website": None}
                        mods.append(known)
                    for key, field in (("name", "Name"), ("author", "Author"), ("website", "Website")):
                        if known[key] is None and e.get(field):
                            known[key] = e[field]
    return plugins, mods


def main():
    run = subprocess.run([sys.argv[1], "--json", "-l", "--newer-games", *sys.argv[2:]], capture_output=True)
    document = json.loads(run.stdout)
    differences = 0
    for scene in document["scenes"]:
        if scene["outcome"] != "scanned":
            continue
        data = open(scene["path"], "rb").read()
        for record in scene["records"]:
            plugins, mods = reference(data[record["offset"]:record["offset"] + record["length"]])
            same = plugins == record["plugins"] and mods == record["mods"]
            differences += not same
            print(f"{'same' if same else 'DIFFERENT'}\t{scene['path']}\t{record['index']}\t"
                  f"{len(plugins)} plugins\t{len(mods)} mods")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
