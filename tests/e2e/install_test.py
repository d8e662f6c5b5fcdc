"""Installing into a prefix of its own (with a blank and a dollar, which the
desktop entry must quote): the program beside its sound, the launcher, a valid
desktop entry that starts the launcher, the icon; the installed game started
through the launcher from elsewhere finds its sound and closes with 0."""

import os
import re
import subprocess
import tempfile

from zorva_e2e import Display, Zorva, arguments, check, heard, poll, require_tools


def main():
    args = arguments("zorva", "cmake", "build", "source")
    require_tools("desktop-file-validate")
    with tempfile.TemporaryDirectory(prefix="zorva-e2e-") as tmp, Display() as display:
        prefix = os.path.join(tmp, "my games $HOME")
        done = subprocess.run([args["cmake"], "--install", args["build"], "--prefix", prefix], capture_output=True)
        check(done.returncode == 0, f"cmake --install: {done.stderr.decode(errors='replace')[-800:]}")
        files = {p: os.path.join(prefix, p) for p in ("lib/zorva/zorva", "lib/zorva/効果音.wav", "bin/zorva",
                                                     "share/applications/zorva.desktop",
                                                     "share/icons/hicolor/32x32/apps/zorva.png")}
        read = lambda path: open(path, "rb").read()  # noqa: E731
        check(read(files["lib/zorva/zorva"]) == read(args["zorva"]), "the installed program is not the built one")
        check(read(files["lib/zorva/効果音.wav"]) == read(os.path.join(args["source"], "assets", "効果音.wav")),
              "the installed sound is not the game's")
        check(os.access(files["bin/zorva"], os.X_OK) and read(files["bin/zorva"]).startswith(b"#!"),
              "the launcher is no executable script")
        check(read(files["share/icons/hicolor/32x32/apps/zorva.png"])[12:24] == b"IHDR" + bytes([0, 0, 0, 32] * 2),
              "the icon is no 32 x 32 PNG")
        entry = files["share/applications/zorva.desktop"]
        done = subprocess.run(["desktop-file-validate", entry], capture_output=True)
        check(done.returncode == 0 and not done.stdout.strip(), f"desktop-file-validate: {done.stdout + done.stderr}")
        group = read(entry).decode().split("\n[Desktop Action")[0]  # the entry itself, not its actions
        keys = dict(line.split("=", 1) for line in group.splitlines() if "=" in line)
        # A string value first (a doubled backslash is one), then a quoted argument (a backslash escapes).
        value = keys["Exec"].replace("\\\\", "\\")
        check(value[0] == value[-1] == '"' and re.sub(r"\\(.)", r"\1", value[1:-1]) == files["bin/zorva"],
              f"Exec={keys['Exec']} does not start the launcher")

        heard_file = os.path.join(tmp, "heard.raw")
        game = Zorva(display, files["bin/zorva"], cwd="/", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=heard_file)
        game.wait_window()
        check(os.path.realpath(f"/proc/{game.proc.pid}/exe") == os.path.realpath(files["lib/zorva/zorva"]),
              "the launcher did not hand over to the installed program")
        game.key("space")
        game.key_down("space")  # the first shot destroys an enemy of the fourth column
        poll(lambda: os.path.getsize(heard_file) and heard(heard_file), 10, "the sound of something destroyed")
        game.key_up("space")
        status = game.close()
        check(status == 0, f"the installed zorva ended with {status}: {game.errors()[-500:]}")


if __name__ == "__main__":
    main()
