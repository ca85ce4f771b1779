#!/usr/bin/env python3
"""Writes the licence texts that go beside zelvax.exe, whose Qt is linked in statically.

    windows_notices.py QT_SOURCE_TARBALL OUT_DIR

From Qt's source as it was built: the LGPL 3 and the GPL 3 it builds on, and one file with the
name, copyright and licence text of each third-party part of Qt Core, Gui, Widgets and the
Windows platform plugin, taken from Qt's own attribution files. Parts that belong to features
or platforms this build leaves out (networking, OpenGL, Vulkan, JPEG, Android, X11, WebAssembly,
Unix process handling, macOS) are skipped.
"""
import json
import posixpath
import sys
import tarfile
from pathlib import Path

BUILT = ("src/corelib/", "src/gui/", "src/widgets/", "src/plugins/platforms/windows/",
         "src/plugins/styles/", "src/3rdparty/")
LEFT_OUT = ("src/3rdparty/android/", "src/3rdparty/gradle/", "src/3rdparty/wasm/",
            "src/3rdparty/xcb/", "src/3rdparty/libjpeg/", "src/3rdparty/libpsl/",
            "src/3rdparty/VulkanMemoryAllocator/", "src/3rdparty/forkfd/",
            "src/gui/opengl/", "src/gui/vulkan/", "src/gui/rhi/")
QT_LICENCES = {"LICENSES/LGPL-3.0-only.txt": "Qt-LGPL-3.0.txt",
               "LICENSES/GPL-3.0-only.txt": "GPL-3.0.txt"}


def relative(name):
    """The member's path inside Qt's source tree, without the tarball's top folder."""
    return name.split("/", 1)[1] if "/" in name else ""


def is_built(path):
    return path.startswith(BUILT) and not path.startswith(LEFT_OUT)


def entries(text):
    data = json.loads(text, strict=False)  # some hold tabs inside strings
    return data if isinstance(data, list) else [data]


def attribution(entry, folder, texts):
    lines = [entry.get("Name", "?")]
    lines.append("=" * len(lines[0]))
    for key in ("Version", "License", "Homepage"):
        if entry.get(key):
            lines.append(f"{key}: {entry[key]}")
    lines += ["", entry.get("Copyright", "").strip(), ""]
    files = entry.get("LicenseFiles") or [entry.get("LicenseFile")]
    for name in filter(None, files):
        licence = texts.get(posixpath.normpath(posixpath.join(folder, name)))
        if licence is not None:
            lines += [licence.strip(), ""]
    return "\n".join(lines)


def main(tarball, out):
    out.mkdir(parents=True, exist_ok=True)
    texts, attributions = {}, []
    with tarfile.open(tarball) as source:
        for member in source:
            path = relative(member.name)
            wanted = path in QT_LICENCES or (is_built(path) and (
                posixpath.basename(path) == "qt_attribution.json" or "LICENSE" in path))
            if member.isfile() and wanted:
                text = source.extractfile(member).read().decode("utf-8", "replace")
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
        sys.exit("usage: windows_notices.py QT_SOURCE_TARBALL OUT_DIR")
    main(sys.argv[1], Path(sys.argv[2]))
