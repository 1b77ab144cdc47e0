#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files' contents: entries in the order given,
each stamped with SOURCE_DATE_EPOCH, plain archive attribute (never read-only: a read-only
bundle leaves read-only copies on the device), deflated at a fixed level.

    reproducible_zip.py ZIP EPOCH NAME=FILE...
"""
import sys
import time
import zipfile


def main():
    archive, epoch = sys.argv[1], int(sys.argv[2])
    # A zip's time has two-second steps and starts in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, "w") as out:
        for pair in sys.argv[3:]:
            name, path = pair.split("=", 1)
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 0  # MS-DOS attributes, as Windows's own zip reader expects
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                out.writestr(entry, source.read(), compresslevel=9)


if __name__ == "__main__":
    main()
