#!/usr/bin/env python3
"""Writes the ZIP archives the reader's tests and fuzz seeds use into one folder.

Archives come from real tools (Info-ZIP zip, bsdtar, Python's zipfile) and, for what the tools
will not make, from a small byte-level writer below. Usage: make_zip_fixtures.py FOLDER
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

# Content of the file every tool-made archive carries: large enough for several input and
# output chunks, compressible but not trivially so.
def payload(size=300_000):
    out = bytearray()
    seed = 12345
    words = [b"pelko", b"loader", b"update", b"component", b"zip", b"\r\n", b" "]
    while len(out) < size:
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[seed % len(words)]
        out.append(seed >> 16 & 0xFF)
    return bytes(out[:size])


def raw_deflate(data, finish=True):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    out = c.compress(data)
    out += c.flush(zlib.Z_FINISH if finish else zlib.Z_SYNC_FLUSH)
    return out


def dos_date(y, m, d):
    return ((y - 1980) << 9) | (m << 5) | d


def dos_time(h, mi, s):
    return (h << 11) | (mi << 5) | (s // 2)


class Entry:
    """One entry as the byte-level writer stores it; every field can be overridden."""

    def __init__(self, name, data=b"", method=8, **kw):
        self.name = name if isinstance(name, bytes) else name.encode("cp437")
        self.data = data
        self.method = method
        self.compressed = kw.pop("compressed", None)
        if self.compressed is None:
            self.compressed = raw_deflate(data) if method == 8 else data
        self.flags = kw.pop("flags", 0)
        self.made_by = kw.pop("made_by", 0x0314)  # Unix, version 2.0
        self.external = kw.pop("external", 0o100644 << 16)
        self.date = kw.pop("date", dos_date(2020, 5, 17))
        self.time = kw.pop("time", dos_time(12, 30, 10))
        self.crc = kw.pop("crc", zlib.crc32(data))
        self.usize = kw.pop("usize", len(data))
        self.csize = kw.pop("csize", len(self.compressed))
        self.local = kw.pop("local", {})  # overrides of local header fields
        self.central_extra = kw.pop("central_extra", b"")
        self.local_extra = kw.pop("local_extra", b"")
        self.descriptor = kw.pop("descriptor", False)
        self.volume = kw.pop("volume", 0)
        self.offset = kw.pop("offset", None)
        assert not kw, kw

    def local_header(self):
        f = dict(flags=self.flags, method=self.method, crc=self.crc, csize=self.csize,
                 usize=self.usize, name=self.name, extra=self.local_extra,
                 signature=b"PK\x03\x04")
        f.update(self.local)
        return (f["signature"] + struct.pack(
            "<HHHHHIIIHH", 20, f["flags"], f["method"], self.time, self.date, f["crc"],
            f["csize"], f["usize"], len(f["name"]), len(f["extra"])) + f["name"] + f["extra"])

    def central_record(self, offset):
        return b"PK\x01\x02" + struct.pack(
            "<HHHHHHIIIHHHHHII", self.made_by, 20, self.flags, self.method, self.time,
            self.date, self.crc, self.csize, self.usize, len(self.name),
            len(self.central_extra), 0, self.volume, 0, self.external,
            offset) + self.name + self.central_extra


def end_record(disk, disk_cd, n_disk, n_total, cd_size, cd_offset, comment=b""):
    return b"PK\x05\x06" + struct.pack("<HHHHIIH", disk, disk_cd, n_disk, n_total, cd_size,
                                       cd_offset, len(comment)) + comment


def build(entries, comment=b"", central_order=None, end=None, between=b""):
    """An archive of the entries; end overrides fields of the end record."""
    body = bytearray()
    offsets = []
    for e in entries:
        offsets.append(len(body) if e.offset is None else e.offset)
        body += e.local_header() + e.compressed
        if e.descriptor:
            body += struct.pack("<4sIII", b"PK\x07\x08", e.crc, e.csize, e.usize)
    order = central_order or list(range(len(entries)))
    cd = b"".join(entries[i].central_record(offsets[i]) for i in order)
    cd_offset = len(body)
    fields = dict(disk=0, disk_cd=0, n_disk=len(entries), n_total=len(entries),
                  cd_size=len(cd), cd_offset=cd_offset)
    fields.update(end or {})
    return bytes(body) + cd + between + end_record(comment=comment, **fields)


def named_by_block(name, data, **kw):
    """An entry whose UTF-8 name comes from the name-encoding block (ID 0x5A4C)."""
    block = b"\x01\x03" + struct.pack("<I", 65001) + name.encode("utf-8")
    return Entry(b"ignored", data, central_extra=struct.pack("<HH", 0x5A4C, len(block)) + block,
                 **kw)


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def tool_archives(folder, content):
    """Archives made by the distribution's tools from a small tree."""
    work = tempfile.mkdtemp(prefix="zipfixtures")
    try:
        os.makedirs(os.path.join(work, "dir", "sub"))
        with open(os.path.join(work, "dir", "sub", "file.txt"), "wb") as f:
            f.write(content)
        with open(os.path.join(work, "readonly.txt"), "wb") as f:
            f.write(b"read only\n")
        os.chmod(os.path.join(work, "readonly.txt"), 0o444)

        def run(*args):
            subprocess.run(args, cwd=work, check=True, stdout=subprocess.DEVNULL)

        out = lambda name: os.path.abspath(os.path.join(folder, name))
        for name in ("info_nested.zip", "info_folder_first.zip", "info_stored.zip",
                     "info_readonly.zip", "bsdtar.zip"):
            if os.path.exists(out(name)):
                os.remove(out(name))
        run("zip", "-q", "-D", "-X", out("info_nested.zip"), "dir/sub/file.txt")
        run("zip", "-q", "-r", "-X", out("info_folder_first.zip"), "dir")
        run("zip", "-q", "-0", "-D", "-X", out("info_stored.zip"), "dir/sub/file.txt")
        run("zip", "-q", "-X", out("info_readonly.zip"), "readonly.txt")
        run("bsdtar", "--format", "zip", "-cf", out("bsdtar.zip"), "dir/sub/file.txt")
    finally:
        for root, dirs, files in os.walk(work):
            for name in files:
                os.chmod(os.path.join(root, name), 0o644)
        shutil.rmtree(work)

    # Python's zipfile: a dated entry with explicit attributes, and a stored one.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        info = zipfile.ZipInfo("python.bin", date_time=(1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o100644 << 16
        z.writestr(info, content)
    write(folder, "python_1980.zip", buffer.getvalue())
    # The same archive behind 100 bytes of other data, as behind a program stub.
    write(folder, "prefix100.zip", b"S" * 100 + buffer.getvalue())


def byte_archives(folder):
    text = b"hello, package\r\n" * 64
    one = lambda **kw: build([Entry("a.txt", text, **kw)])
    write(folder, "plain.zip", one())
    write(folder, "empty.zip", end_record(0, 0, 0, 0, 0, 0))
    write(folder, "zero.bin", b"")
    write(folder, "short.bin", b"PK\x05\x06")
    write(folder, "short_after_signature.bin", b"xxPK\x05\x06" + b"\0" * 10)
    write(folder, "comment65535.zip", build([Entry("a.txt", text)], comment=b"c" * 65535))
    write(folder, "end_too_far.zip", build([Entry("a.txt", text)]) + b"t" * 65536)
    # The end record's signature straddles the first two 32768-byte search chunks.
    write(folder, "signature_across_chunks.zip",
          build([Entry("a.txt", text)], comment=b"k" * (32770 - 22)))
    # A second, empty end record inside the comment is nearer the end and wins.
    write(folder, "signature_in_comment.zip",
          build([Entry("a.txt", text)], comment=b"note:" + end_record(0, 0, 0, 0, 0, 0)))
    write(folder, "entries0_size12.zip", end_record(0, 0, 0, 0, 12, 0))
    write(folder, "entries_ffff.zip",
          build([Entry("a.txt", text)], end=dict(n_disk=0xFFFF, n_total=0xFFFF)))
    locator = b"PK\x06\x07" + struct.pack("<IQI", 0, 0, 1)
    write(folder, "zip64_locator.zip",
          build([Entry("a.txt", text)], between=locator, end=dict(n_total=0xFFFF)))
    write(folder, "stray_extra.zip", build([Entry("a.txt", text, central_extra=b"\x01\x02\x03")]))
    write(folder, "duplicate_offsets.zip",
          build([Entry("a.txt", text), Entry("b.txt", text, offset=0)]))
    write(folder, "central_reversed.zip",
          build([Entry("first.txt", b"first\n"), Entry("second.txt", b"second\n")],
                central_order=[1, 0]))
    write(folder, "directory_past_end.zip",
          build([Entry("a.txt", text)], end=dict(cd_offset=0x7FFFFFFF)))

    # Local headers that disagree with their central records.
    damaged = {
        "local_signature": dict(local=dict(signature=b"PK\x03\x05")),
        "local_flags": dict(local=dict(flags=1 << 1)),
        "local_method": dict(local=dict(method=0)),
        "local_crc": dict(local=dict(crc=1)),
        "local_csize": dict(local=dict(csize=7)),
        "local_usize": dict(local=dict(usize=7)),
        "local_extra": dict(local_extra=b"\x01\x00\x09\x00ab"),
    }
    for name, kw in damaged.items():
        write(folder, "damaged_%s.zip" % name, one(**kw))
    write(folder, "damaged_offset.zip", build([Entry("a.txt", text, offset=5000)]))

    write(folder, "bit3_zero_local.zip",
          build([Entry("a.txt", text, flags=8, descriptor=True,
                       local=dict(crc=0, csize=0, usize=0))]))
    write(folder, "crc_mismatch.zip", one(crc=zlib.crc32(text) ^ 1))
    full = raw_deflate(text)
    write(folder, "truncated_deflate.zip",
          one(compressed=full[:len(full) // 2], csize=len(full) // 2))
    write(folder, "short_stream.zip", one(usize=len(text) + 100))
    write(folder, "missing_last_block.zip", one(compressed=raw_deflate(text, finish=False)))
    write(folder, "corrupt_deflate.zip", one(compressed=b"\xff" * 40))
    write(folder, "encrypted.zip", one(flags=1))
    write(folder, "aes.zip", one(flags=1, method=99, compressed=b"\0" * 40))
    write(folder, "method12.zip", one(method=12, compressed=b"BZh9" + b"\0" * 20))
    write(folder, "zero_deflated.zip", build([Entry("empty.txt", b"", compressed=b"\x03\x00")]))
    write(folder, "stored.zip", one(method=0))
    write(folder, "stored_zero_size.zip",
          build([Entry("none.txt", b"", method=0, compressed=b"z" * 200000)]))
    write(folder, "stored_short.zip", one(method=0, usize=len(text) + 10))
    write(folder, "date0.zip", one(date=0, time=0))
    write(folder, "unix644.zip", one(external=0o100644 << 16))
    write(folder, "unix444.zip", one(external=0o100444 << 16))
    write(folder, "unix755.zip", one(external=0o100755 << 16))
    write(folder, "dos_hidden.zip", one(made_by=0x0014, external=0x23))
    write(folder, "folder_first.zip",
          build([Entry("pkgdir/", b"", method=0, external=0o40755 << 16),
                 Entry("pkgdir/a.txt", text)]))
    write(folder, "dos_folder.zip",
          build([Entry("dosdir/", b"", method=0, made_by=0x0014, external=0x10)]))
    # Name conversion: OEM for entries made on MS-DOS, ANSI otherwise; 0x81 and 0xFC are u-umlaut.
    write(folder, "name_oem.zip", build([Entry(b"\x81ber.txt", text, made_by=0x0014, external=0x20)]))
    write(folder, "name_ansi.zip", build([Entry(b"\xfcber.txt", text)]))
    utf8 = "한글/파일.txt".encode("utf-8")
    block = b"\x01\x03" + struct.pack("<I", 65001) + utf8
    write(folder, "name_encoding.zip",
          build([Entry(b"ignored.txt", text,
                       central_extra=struct.pack("<HH", 0x5A4C, len(block)) + block)]))
    write(folder, "drive_name.zip", build([Entry("D:/y/b.txt", text)]))
    write(folder, "unc_name.zip", build([Entry("//srv/share/c.txt", text)]))
    for i, name in enumerate([b"../evil.txt", b"a/../../evil.txt", b"..\\evil.txt",
                              b"sub/.. /evil.txt", b"sub/...\\evil.txt", b"C:../evil.txt",
                              b"x/..\x00"]):
        write(folder, "parent_%d.zip" % i, build([Entry(name, text)]))
    # A NUL ends the path for the platform: this folder entry names the destination's parent.
    write(folder, "parent_7.zip",
          build([Entry(b"..\x00x/", b"", method=0, external=0o40555 << 16)]))
    # A file without a name would be written as the destination folder itself.
    write(folder, "parent_8.zip", build([Entry(b"", text)]))
    write(folder, "long_title.zip", build([Entry("t" * 300 + ".txt", text)]))
    # 16,000 folder levels: a folder part of 32,000 characters, under the splitter's limit.
    write(folder, "deep_name.zip", build([Entry("d/" * 16000 + "f.txt", text)]))

    # Folder entries (hidden, system, read-only on MS-DOS) whose names come down to the
    # destination itself; the last two reach it through a NUL and the name-encoding block.
    dos_folder = dict(method=0, made_by=0x0014, external=0x13)
    for i, name in enumerate([b"/", b"C:", b"\\", b"./", b" /", b"./. /", b"\0x/"]):
        write(folder, "self_%d.zip" % i, build([Entry(name, b"", **dos_folder)]))
    write(folder, "self_7.zip", build([named_by_block("./", b"", **dos_folder)]))
    # Names that would reach an alternate data stream or a folder index on NTFS.
    for i, (name, kw) in enumerate([(b"a.txt:evil", {}), (b"sub/b.txt::$DATA", {}),
                                    (b"x\\..::$INDEX_ALLOCATION\\", dos_folder),
                                    (b"C:x:y.txt", {})]):
        write(folder, "stream_%d.zip" % i, build([Entry(name, text if not kw else b"", **kw)]))
    # Names from the name-encoding block keep their "/" and are not normalised.
    for i, name in enumerate(["../evil.txt", "a/../../evil.txt", "..\\evil.txt", "a/..",
                              "a/b.txt:evil"]):
        write(folder, "block_parent_%d.zip" % i, build([named_by_block(name, text)]))
    for i, name in enumerate(["/abs/x.txt", "C:/abs/x.txt", "//srv/share/x.txt"]):
        write(folder, "block_absolute_%d.zip" % i, build([named_by_block(name, text)]))

    # Declared sizes smaller than the data: the rest must not be dropped silently.
    head = text[:100]
    write(folder, "stored_declared_smaller.zip",
          one(method=0, compressed=text, usize=100, crc=zlib.crc32(head)))
    write(folder, "deflated_declared_smaller.zip", one(usize=100, crc=zlib.crc32(head)))
    write(folder, "stored_empty.zip", build([Entry("none.txt", b"", method=0)]))
    # The end record announces a comment longer than what follows it.
    whole = build([Entry("a.txt", text)], comment=b"c" * 100)
    write(folder, "comment_truncated.zip", whole[:-50])

    # Split archive: volume 0 in pkg.z01 holds the entry, the last volume pkg.zip its directory.
    entry = Entry("split.txt", text)
    local = entry.local_header() + entry.compressed
    cd = entry.central_record(0)
    write(folder, "split.z01", local)
    write(folder, "split.zip", cd + end_record(1, 1, 1, 1, len(cd), 0))
    write(folder, "split_missing.zip", cd + end_record(1, 1, 1, 1, len(cd), 0))
    # A split pair whose directory lies on volume 0 with the entry; the last volume holds
    # only the end record.
    write(folder, "split_dir_first.z01", local + cd)
    write(folder, "split_dir_first.zip", end_record(1, 0, 0, 1, len(cd), len(local)))

    # Three volumes: the entry's data runs from the first volume through the second into the
    # last, which also holds the directory.
    spread = Entry("spread.txt", payload(5000))
    local = spread.local_header()
    data = spread.compressed
    cd = spread.central_record(0)
    write(folder, "spread.z01", local + data[:40])
    write(folder, "spread.z02", data[40:80])
    write(folder, "spread.zip", data[80:] + cd + end_record(2, 2, 1, 1, len(cd), len(data) - 80))


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    content = payload()
    write(folder, "payload.bin", content)
    tool_archives(folder, content)
    byte_archives(folder)


if __name__ == "__main__":
    main()
