"""Writes the Windows zip the same, to the byte, from the same files: every entry dated the release in
debian/changelog, with no access or change times, names in UTF-8. A name beyond ASCII also carries Info-ZIP's
Unicode path field: the UTF-8 flag alone is not read by every unpacker, and Info-ZIP's unzip would take the name
of an entry made on MS-DOS for one in the DOS code page.

  make_zip.py OUT.zip FOLDER 'CHANGELOG SIGN-OFF LINE' FILE...   (FILE: paths inside FOLDER's parent)"""

import email.utils
import os
import struct
import sys
import zipfile
import zlib


def unicode_path(name):
    """Info-ZIP's Unicode path extra field (0x7075): version 1, the CRC-32 of the name in the header, the name."""
    raw = name.encode()
    return struct.pack("<HHBI", 0x7075, 5 + len(raw), 1, zlib.crc32(raw)) + raw


def main():
    out, folder, signoff, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    released = email.utils.parsedate_to_datetime(signoff.split("  ")[-1]).timetuple()[:6]
    with zipfile.ZipFile(out + ".part", "w") as z:
        for name in files:
            entry = zipfile.ZipInfo(name, released)
            entry.compress_type, entry.external_attr, entry.create_system = zipfile.ZIP_DEFLATED, 0o644 << 16, 0
            if not name.isascii():
                entry.extra = unicode_path(name)
            with open(os.path.join(os.path.dirname(folder), name), "rb") as f:
                z.writestr(entry, f.read(), compresslevel=9)
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main()
