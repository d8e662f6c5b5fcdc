"""Installing into a prefix of its own: the program and its sound side by side,
a launcher, a desktop entry and the icon; the installed game starts from
anywhere, finds its sound and closes with 0."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

from zorva_e2e import Display, Failure, Game, arguments, check, heard, require_tools, run

ARGS = arguments("zorva", "cmake", "build", "source")
display = None


def install(prefix):
    done = subprocess.run([ARGS["cmake"], "--install", ARGS["build"], "--prefix", prefix], capture_output=True,
                          timeout=120)
    check(done.returncode == 0, f"cmake --install failed: {done.stderr.decode(errors='replace')[-800:]}")


def desktop_entry(path):
    """The keys of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
                continue
            check("=" in line, f"not a key: {line!r}")
            key, value = line.split("=", 1)
            if group == "[Desktop Entry]":
                keys[key.strip()] = value.strip()
    return keys


def unquote_exec(value):
    """The program of an Exec value: the string escapes first, then the
    quoting of arguments."""
    value = value.replace("\\\\", "\\")
    if not value.startswith('"'):
        return value.split(" ")[0]
    out, i = [], 1
    while value[i] != '"':
        if value[i] == "\\":
            i += 1
        out.append(value[i])
        i += 1
    return "".join(out)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", f"{path} is no PNG")
    return struct.unpack(">II", head[16:24])


def test_install_and_start():
    with tempfile.TemporaryDirectory(prefix="zorva-e2e-") as tmp:
        # A prefix with a blank and a dollar, which the desktop entry must quote.
        prefix = os.path.join(tmp, "my games $HOME")
        install(prefix)
        program = os.path.join(prefix, "lib", "zorva", "zorva")
        launcher = os.path.join(prefix, "bin", "zorva")
        sound = os.path.join(prefix, "lib", "zorva", "効果音.wav")
        entry = os.path.join(prefix, "share", "applications", "org.zorva.Zorva.desktop")
        icon = os.path.join(prefix, "share", "icons", "hicolor", "32x32", "apps", "zorva.png")

        for path in (program, launcher, sound, entry, icon):
            check(os.path.isfile(path), f"not installed: {os.path.relpath(path, prefix)}")
        for path in (program, launcher):
            check(os.access(path, os.X_OK), f"not executable: {os.path.relpath(path, prefix)}")
        with open(launcher, "rb") as f:
            check(f.read(2) == b"#!", "the launcher is no script")
        with open(sound, "rb") as a, open(os.path.join(ARGS["source"], "assets", "効果音.wav"), "rb") as b:
            check(a.read() == b.read(), "the installed sound differs from the game's")
        with open(program, "rb") as a, open(ARGS["zorva"], "rb") as b:
            check(a.read() == b.read(), "the installed program differs from the built one")
        check(png_size(icon) == (32, 32), f"the icon is {png_size(icon)}, not 32x32")

        keys = desktop_entry(entry)
        for key, value in (("Type", "Application"), ("Name", "ZORVA"), ("Icon", "zorva"), ("Terminal", "false")):
            check(keys.get(key) == value, f"desktop entry: {key}={keys.get(key)!r}, not {value!r}")
        check("Game" in keys.get("Categories", "").split(";"), "desktop entry: not in the Game category")
        check(unquote_exec(keys.get("Exec", "")) == launcher,
              f"desktop entry: Exec={keys.get('Exec')!r} does not start the launcher")
        validate = shutil.which("desktop-file-validate")
        check(validate is not None, "missing desktop-file-validate; install desktop-file-utils")
        done = subprocess.run([validate, entry], capture_output=True)
        check(done.returncode == 0 and not done.stdout.strip(),
              f"desktop-file-validate: {(done.stdout + done.stderr).decode(errors='replace')}")

        # Started through the launcher from elsewhere, it is the program in
        # lib/zorva that runs and hears its sound.
        output = os.path.join(tmp, "heard.raw")
        g = Game(display, launcher, cwd="/", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=output)
        g.wait_window()
        check(os.path.realpath(f"/proc/{g.pid}/exe") == os.path.realpath(program),
              "the launcher did not hand over to the installed program")
        check(g.caption() == "ＺＯＲＶＡ", f"the caption is {g.caption()!r}")
        g.fire_until_enemy_hit(g.start_game())
        g.close()
        status = g.wait_exit(3.0)
        check(status == 0, f"the installed zorva ended with {status}: {g.errors()[-500:]}")
        check(heard(output), "the installed game did not find its sound")


if __name__ == "__main__":
    require_tools("desktop-file-validate")
    try:
        with Display() as display:
            status = run([test_install_and_start])
    except Failure as error:
        print(f"FAIL: {error}\n0 passed, 1 failed")
        status = 1
    sys.exit(status)
