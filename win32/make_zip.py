"""Writes the Windows zip the same, to the byte, from the same files: every entry dated the release in
debian/changelog, with no extra fields (no access or change times), names in UTF-8.

  make_zip.py OUT.zip FOLDER 'CHANGELOG SIGN-OFF LINE' FILE...   (FILE: paths inside FOLDER's parent)"""

import email.utils
import os
import sys
import zipfile


def main():
    out, folder, signoff, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    released = email.utils.parsedate_to_datetime(signoff.split("  ")[-1]).timetuple()[:6]
    with zipfile.ZipFile(out + ".part", "w") as z:
        for name in files:
            entry = zipfile.ZipInfo(name, released)
            entry.compress_type, entry.external_attr, entry.create_system = zipfile.ZIP_DEFLATED, 0o644 << 16, 0
            with open(os.path.join(os.path.dirname(folder), name), "rb") as f:
                z.writestr(entry, f.read(), compresslevel=9)
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main()
