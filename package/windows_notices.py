#!/usr/bin/env python3
"""Writes the licence texts that go beside zelvax.exe, whose Qt is linked in statically.

    windows_notices.py QT_SOURCE_DIR OUT_DIR

From Qt's source tree as it was built: the LGPL 3 and the GPL 3 it builds on, and one file with the
name, copyright and licence text of each third-party part of Qt Core, Gui, Widgets and the
Windows platform plugin, taken from Qt's own attribution files. Parts that belong to features
or platforms this build leaves out (networking, OpenGL, Vulkan, JPEG, FreeType, Android, X11,
WebAssembly, Unix process handling, macOS) are skipped.
"""
import json
import posixpath
import sys
from pathlib import Path

BUILT = ("src/corelib/", "src/gui/", "src/widgets/", "src/plugins/platforms/windows/",
         "src/plugins/styles/", "src/3rdparty/")
LEFT_OUT = ("src/3rdparty/android/", "src/3rdparty/gradle/", "src/3rdparty/wasm/",
            "src/3rdparty/xcb/", "src/3rdparty/libjpeg/", "src/3rdparty/libpsl/",
            "src/3rdparty/VulkanMemoryAllocator/", "src/3rdparty/forkfd/",
            "src/3rdparty/freetype/",
            "src/gui/opengl/", "src/gui/vulkan/", "src/gui/rhi/")
QT_LICENCES = {"LICENSES/LGPL-3.0-only.txt": "Qt-LGPL-3.0.txt",
               "LICENSES/GPL-3.0-only.txt": "GPL-3.0.txt"}


def is_built(path):
    return path.startswith(BUILT) and not path.startswith(LEFT_OUT)


def entries(text):
    data = json.loads(text, strict=False)  # some hold tabs inside strings
    return data if isinstance(data, list) else [data]


def text(value):
    """A field's text: Qt's newer attribution files hold some fields as lists of lines."""
    return "\n".join(value) if isinstance(value, list) else (value or "")


def attribution(entry, folder, texts):
    lines = [entry.get("Name", "?")]
    lines.append("=" * len(lines[0]))
    for key in ("Version", "License", "Homepage"):
        if entry.get(key):
            lines.append(f"{key}: {text(entry[key])}")
    lines += ["", text(entry.get("Copyright")).strip(), ""]
    files = entry.get("LicenseFiles") or [entry.get("LicenseFile")]
    for name in filter(None, files):
        licence = texts.get(posixpath.normpath(posixpath.join(folder, name)))
        if licence is not None:
            lines += [licence.strip(), ""]
    return "\n".join(lines)


def main(source, out):
    out.mkdir(parents=True, exist_ok=True)
    texts, attributions = {}, []
    for file in sorted(source.rglob("*")):
        path = file.relative_to(source).as_posix()
        wanted = path in QT_LICENCES or (is_built(path) and (
            file.name == "qt_attribution.json" or "LICENSE" in path))
        if file.is_file() and wanted:
            text = file.read_bytes().decode("utf-8", "replace")
            if path.endswith("qt_attribution.json"):
                attributions.append((posixpath.dirname(path), text))
            else:
                texts[path] = text
    for path, name in QT_LICENCES.items():
        (out / name).write_text(texts[path])
    parts = [attribution(entry, folder, texts)
             for folder, text in sorted(attributions) for entry in entries(text)]
    header = ("Third-party parts of Qt in zelvax.exe\n"
              "=====================================\n\n"
              "Qt Core, Gui and Widgets include the following parts, each under its own "
              "licence.\n\n")
    (out / "Qt-third-party.txt").write_text(header + "\n\n".join(parts) + "\n")
    print(f"{len(parts)} third-party parts of Qt noted in {out}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: windows_notices.py QT_SOURCE_DIR OUT_DIR")
    main(Path(sys.argv[1]), Path(sys.argv[2]))
