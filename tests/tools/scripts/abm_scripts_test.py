#!/usr/bin/env python3
"""abm as scripts use it: --json output read back with the json module
(mode "json"), and the gallery opened in headless Chromium (mode "gallery",
skipped with a message when no Chromium is installed).

    abm_scripts_test.py ABM_EXECUTABLE json|gallery
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

# Solid pictures, one colour each, added with lossless thumbnails.
PICTURES = [("sea.png", (0, 90, 200), "Blue sea", 5), ("forest.png", (20, 160, 40), "Green forest", 2),
            ("sunset.png", (230, 60, 20), "Red sunset", 4), ("sand.png", (240, 220, 60), "Yellow sand", 1)]


def png(width, height, rgb):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def read_png(data):
    """8-bit RGB or RGBA, not interlaced (what Chromium's screenshots are)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour, interlace)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    step = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * step
    pixels, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b, c = previous[i], previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        pixels.append(line)
        previous = line
    return width, height, step, pixels


class Run:
    def __init__(self, abm, folder):
        self.abm, self.folder = abm, folder
        self.env = dict(os.environ, Q32_APPDATA=os.path.join(folder, "appdata"))

    def __call__(self, *words, status=0):
        done = subprocess.run([self.abm, *words], capture_output=True, text=True, env=self.env,
                              timeout=120)
        assert done.returncode == status, (words, done.returncode, done.stdout, done.stderr)
        assert "\r" not in done.stderr, "no progress bar when stderr is not a terminal"
        return done.stdout


def make_album(run, folder):
    pictures = os.path.join(folder, "pics")
    os.makedirs(pictures)
    album = os.path.join(folder, "photos.ab3")
    run("create", album, "--field=Title:text", "--field=Rating:bytes2", "--field=Code:string",
        "--title=Holiday <2026>", "--thumb=48")
    for name, rgb, title, rating in PICTURES:
        path = os.path.join(pictures, name)
        with open(path, "wb") as f:
            f.write(png(60, 40, rgb))
        run("add", album, path, "--compression=zlib", f"--field=Title={title}",
            f"--field=Rating={rating}", f"--field=Code=c{rating}")
    return album


def check_json(run, album):
    info = json.loads(run("info", album, "--json"))
    assert set(info) == {"path", "format", "title", "records", "description", "thumbnail_size",
                         "next_number", "protected", "fields"}, info
    assert (info["format"], info["title"], info["records"], info["thumbnail_size"]) == \
        ("3.0", "Holiday <2026>", 4, 48), info
    assert [(f["name"], f["type"]) for f in info["fields"]] == \
        [("Title", "text"), ("Rating", "bytes2"), ("Code", "string")], info["fields"]
    assert set(info["fields"][0]) == {"number", "name", "type", "index", "attribute"}

    run("delete", album, "1")
    listed = json.loads(run("list", album, "--json", "--deleted"))
    assert set(listed) == {"album", "fields", "records"} and listed["fields"] == ["Title", "Rating", "Code"]
    assert [(r["number"], r["picture"], r["deleted"]) for r in listed["records"]] == \
        [(0, "sea.png", False), (1, "forest.png", True), (2, "sunset.png", False), (3, "sand.png", False)]
    assert listed["records"][2]["values"] == {"Title": "Red sunset", "Rating": "4", "Code": "c4"}
    run("undelete", album, "1")

    shown = json.loads(run("show", album, "2", "--json"))
    assert set(shown) == {"number", "deleted", "picture", "short_path", "size", "modified", "taken",
                          "camera", "drive", "label", "thumbnail", "values"}, shown
    assert shown["picture"].endswith("sunset.png") and shown["taken"] is None
    assert (shown["thumbnail"]["width"], shown["thumbnail"]["height"]) == (48, 32), shown
    assert shown["values"]["Title"] == "Red sunset"

    def found(*conditions):
        return [r["number"] for r in json.loads(run("find", album, *conditions, "--json"))["records"]]
    for conditions, numbers in [(["Rating>2"], [0, 2]), (["Rating<2"], [3]), (["Rating=2"], [1]),
                                (["Title~SUN"], [2]), (["Title=blue sea"], [0]), (["Code=c4"], [2]),
                                (["Code~c"], [0, 1, 2, 3]), (["Rating>1", "Title~e"], [0, 1, 2]),
                                (["Title~nothing"], [])]:
        assert found(*conditions) == numbers, (conditions, found(*conditions))
    run("find", album, "Nothing=1", status=2)
    run("find", album, "Title>x", status=2)


def check_progress(run, folder):
    """A bar on a terminal (stderr a pseudo-terminal), none into a pipe (Run checks that)."""
    import pty
    pictures = os.path.join(folder, "many")
    os.makedirs(pictures)
    for n in range(7):
        with open(os.path.join(pictures, f"p{n}.png"), "wb") as f:
            f.write(png(8, 8, (n * 30, 0, 0)))
    album = os.path.join(folder, "many.ab3")
    run("create", album, "--field=Title:text")
    master, slave = pty.openpty()
    done = subprocess.Popen([run.abm, "add", album, pictures], stdout=subprocess.DEVNULL,
                            stderr=slave, env=run.env)
    os.close(slave)
    drawn = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        drawn += chunk
    assert done.wait(timeout=120) == 0
    os.close(master)
    assert b"\r[" in drawn and b"7/7" in drawn, drawn


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def browse(browser, folder, url, *what):
    profile = tempfile.mkdtemp(dir=folder)
    done = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                           "--no-first-run", "--disable-background-networking",
                           "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                           f"--user-data-dir={profile}", "--window-size=1000,800", *what, url],
                          capture_output=True, text=True, timeout=180, cwd=folder)
    assert done.returncode == 0, done.stderr
    return done.stdout


def check_gallery(run, album, folder):
    browser = chromium()
    if browser is None:
        print("skipped: no Chromium installed (scripts/install-deps.sh --all installs it)")
        return
    out = os.path.join(folder, "gallery")
    run("gallery", album, out, "--title=Title")
    index = os.path.join(out, "index.html")
    html = open(index, encoding="utf-8").read()
    assert "<script" not in html and "http" not in html, "nothing fetched, nothing run"
    assert "Holiday &lt;2026&gt;" in html

    dom = browse(browser, folder, "file://" + index, "--dump-dom")
    images = re.findall(r'<img src="([^"]+)"', dom)
    assert sorted(images) == [f"thumbs/record-{n}.png" for n in range(4)], images
    for title in ("Blue sea", "Green forest", "Red sunset", "Yellow sand"):
        assert title in dom, title
    for n in range(4):
        page = open(os.path.join(out, f"record-{n}.html"), encoding="utf-8").read()
        assert 'href="file:///' in page and PICTURES[n][0] in page

    shot = os.path.join(folder, "shot.png")
    browse(browser, folder, "file://" + index, f"--screenshot={shot}")
    width, height, step, pixels = read_png(open(shot, "rb").read())
    counts = {rgb: 0 for _, rgb, _, _ in PICTURES}
    for line in pixels:
        for x in range(0, width * step, step):
            pixel = tuple(line[x:x + 3])
            if pixel in counts:
                counts[pixel] += 1
    # Each thumbnail (48 x 32) shows whole: a broken image would leave no pixel of its colour.
    for rgb, count in counts.items():
        assert count >= 48 * 32 * 0.9, (rgb, count)


def main():
    abm, mode = sys.argv[1], sys.argv[2]
    folder = tempfile.mkdtemp()
    try:
        run = Run(abm, folder)
        album = make_album(run, folder)
        if mode == "json":
            check_json(run, album)
            check_progress(run, folder)
        else:
            check_gallery(run, album, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main()
