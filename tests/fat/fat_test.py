#!/usr/bin/env python3
"""The zorbel command on a real FAT file system: Debian's kernel in QEMU mounts a FAT16 and a
FAT32 player as a desktop does, and each player is checked in every state a cut can leave (the
run's block writes, logged by dm-log-writes, replayed in their order and, since a drive with a
write cache persists the writes between two flushes in any order, every subset of each flush
epoch's writes) and after real power cuts (the machine killed at chosen moments).

After each state: every MP3 file seen by Windows (which stops reading a folder at its end marker),
and present exactly once with its bytes after fsck.fat -a on a copy, the player's side files too;
iTunesSD the old bytes or a complete database of exactly the MP3 files on the player, the new one
once done: was printed; while an item is under two names, the record of renames whole under its
name; fsck.fat -n's findings counted. From states that hold an item under two names (a cut during
a rename), the next run and --check must change nothing and say the player needs a repair (no song
listed twice, no shared cluster added), and once fsck.fat -a repaired a copy, a run ends on done:
with a database that lists every MP3 file; so must the next run after each cut. A player with one
song to rename is logged and replayed several times, since the run's timing varies. And the cut
Windows' driver can leave, a song with no name: named by the next run, put back after the check."""
import argparse
import collections
import contextlib
import hashlib
import json
import mmap
import multiprocessing
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/lib"))
from show_player import decode_database  # noqa: E402

SECTOR = 512
# What the command says of a song that a cut on Windows' FAT driver left without a name, and when
# it puts one back after the drive's check: the Windows-cut row's expectations, in one place.
# --check's and the run's line saying it, with the song's old path on it or on an indented line
# of the list it heads
NAMELESS_SAYS = "without a name"
NAMELESS_CHECK_EXIT = None  # --check's status: any but 0 while None
NAMELESS_RUN_EXIT = 4  # done, but a song left out
PUT_BACK = "put back: "  # starts the line naming the saved chain and the song's new path
PUT_BACK_RUN_EXIT = 0
SAVED_CHAIN = re.compile(r"^/FSCK\d{4}\.REC$", re.I)  # where fsck.fat -a saves a lost chain
# mkfs.fat's arguments per file system: a FAT32 needs 65,525 clusters at least.
FORMATS = {"fat16": ["-F", "16", "-s", "4", "16384"], "fat32": ["-F", "32", "-s", "1", "40960"]}
ALL_SUBSETS = 8  # an epoch of more writes is sampled: its prefixes and this many random subsets
SAMPLED = 256
TWO_NAME_RUNS = 4  # states with an item under two names that a next run is tried from
EXIT_REPAIR = 5
OLD_DB = b"\0\0\0\1\x08\0\0\0\x12" + bytes(9)
DB_PATH = "iPod_Control/iTunes/iTunesSD"
RECORD_PATH = DB_PATH + ".renames"
MOUNT = "/mnt"  # where the machine mounts the player
# What a real player keeps beside its database (its play counts, where it stopped, its shuffle
# order, its settings), at sizes of the order a player of a hundred songs keeps them. With them
# the folder's first sector holds 14 of its 16 entries, so the record of renames a run adds there
# gets its long-name entries in that sector and its short entry in the next, as on a real player.
SIDE_FILES = {f"{os.path.dirname(DB_PATH)}/{name}": random.Random(name).randbytes(size)
              for name, size in (("iTunesStats", 6 + 18 * 100), ("iTunesPState", 21),
                                 ("iTunesShuffle", 3 * 100), ("iTunesPrefs", 2000),
                                 ("iTunesEQ", 540))}
MODULES = ("virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk "
           "fat vfat nls_utf8 nls_cp437 dm-mod dm-log-writes").split()
TOOLS = "sh mount umount insmod cat mkdir blockdev tee grep sync reboot sleep su".split()
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", MTOOLS_SKIP_CHECK="1")
# The seed the long epochs' subsets are drawn from (each logged run's own from it and the run's
# name), and the command line that replays a state of a kept log: set by main.
SEED = None
COMMAND = ""


def run(args, **kw):
    return subprocess.run(args, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace", **kw)


# --- the machine -------------------------------------------------------------------------------

def build_initramfs(out, zorbel, kernel_dir, init, extra=()):
    root = tempfile.mkdtemp()
    for sub in ("bin", "modules.d", "proc", "sys", "dev", "lib64", "lib"):
        os.makedirs(os.path.join(root, sub))
    shutil.copy("/bin/busybox", os.path.join(root, "bin/busybox"))
    for tool in TOOLS:
        os.symlink("busybox", os.path.join(root, "bin", tool))
    # dmsetup is dynamic: it brings its libraries and the loader along.
    dmsetup = shutil.which("dmsetup") or "/sbin/dmsetup"
    shutil.copy(dmsetup, os.path.join(root, "bin/dmsetup"))
    for line in run(["ldd", dmsetup]).stdout.splitlines():
        lib = line.split("=>")[-1].split("(")[0].strip()
        if lib.startswith("/"):
            dest = os.path.join(root, lib.lstrip("/"))
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            shutil.copy(lib, dest)
    release = os.listdir(os.path.join(kernel_dir, "lib/modules"))[0]
    tree = os.path.join(kernel_dir, "lib/modules", release, "kernel")
    found = {f[:-3]: os.path.join(d, f) for d, _, fs in os.walk(tree) for f in fs}
    for module in MODULES:
        shutil.copy(found[module], os.path.join(root, "modules.d", module + ".ko"))
    with open(os.path.join(root, "modules"), "w") as f:
        f.write("\n".join(MODULES) + "\n")
    for program in (zorbel,) + tuple(extra):
        shutil.copy(program, os.path.join(root, os.path.basename(program)))
    shutil.copy(init, os.path.join(root, "init"))
    with open(out, "wb") as f:
        listing = subprocess.run("find . | busybox cpio -o -H newc", shell=True, cwd=root,
                                 stdout=f, stderr=subprocess.DEVNULL)
    shutil.rmtree(root)
    if listing.returncode:
        sys.exit("fat: cannot pack the initramfs")


class Machine:
    def __init__(self, kernel, initrd):
        self.kernel, self.initrd = kernel, initrd

    def boot(self, player, mode="run", log=None, kill_at=None, append="", throttle=""):
        """Runs the machine on `player`; kill_at(line, lines) says when to pull the plug.
        Returns the guest's lines and whether it was killed."""
        drives = [player] + ([log] if log else [])
        args = ["qemu-system-x86_64", "-accel", "tcg", "-m", "256", "-nographic", "-no-reboot",
                "-kernel", self.kernel, "-initrd", self.initrd,
                "-append", f"console=ttyS0 quiet panic=-1 zorbel.mode={mode} {append}"]
        for drive in drives:
            args += ["-drive", f"file={drive},format=raw,if=virtio,cache=unsafe{throttle}"]
        vm = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        lines, killed, started = [], False, time.time()
        for raw in vm.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            lines.append(line)
            if kill_at and kill_at(line, lines):
                vm.kill()  # what the kernel sent to the disk stays; what it held is gone
                killed = True
                break
            if time.time() - started > 600:
                vm.kill()
                sys.exit("fat: the machine hung\n" + "\n".join(lines[-20:]))
        vm.wait()
        return lines, killed


def run_lines(lines):
    """The command's own lines: between the guest's run and exit markers."""
    # The firmware's escape sequences may share the marker's line.
    first = next((i + 1 for i, line in enumerate(lines) if line.endswith("guest: run")), None)
    if first is None:
        return []
    out = []
    for line in lines[first:]:
        if line.startswith("guest: exit"):
            break
        out.append(line)
    return out


# --- the player --------------------------------------------------------------------------------

def make_tree(root, tracks):
    """Albums of 20 tracks; a third of them in Chinese-named folders (one of which also holds
    tracks itself), half the tracks with Chinese names; and singles: folders of 8 to 14 short-named
    tracks and one Chinese-named, so that a new name ends the folder at every place in a sector.
    Every file's bytes are its own."""
    rng = random.Random(16)
    expected = {}
    albums = (tracks + 19) // 20
    songs = []
    for n in range(tracks):
        album = n // 20
        if album < albums // 3:
            folder = "华语" if n % 20 < 2 else f"华语/专辑 {album}"
        else:
            folder = f"Music/Album {album}"
        songs.append((folder, f"歌曲 {n}.mp3" if n % 2 else
                      f"Track {n}.{'MP3' if n % 7 == 0 else 'mp3'}"))
    for k in range(8, 15):
        songs += [(f"Singles/{k}", f"S{k}_{i}.MP3") for i in range(k)] + [(f"Singles/{k}",
                                                                           f"单曲 {k}.mp3")]
    for folder, name in songs:
        data = b"\xff\xfb\x90\x64" + rng.randbytes(rng.randrange(1200, 7000))
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        with open(os.path.join(root, folder, name), "wb") as f:
            f.write(data)
        expected[hashlib.sha256(data).hexdigest()] = f"/{folder}/{name}"
    with open(os.path.join(root, "Music", "cover.jpg"), "wb") as f:
        f.write(b"cover")
    make_itunes(root)
    return expected


def make_one_rename_player(image, root, kind):
    """A player a run renames one song on: six plain-named songs in a folder, then one wide-named
    song, whose entries end the folder's first sector, so that its new name goes into the next
    one (a new name beside the old in one sector could never show both); and the iTunes folder.
    Returns the songs' paths by their bytes and the wide-named one's path."""
    rng, expected = random.Random(27), {}
    os.makedirs(os.path.join(root, "Music"))
    make_itunes(root)
    songs = [f"/Music/Track {n}.mp3" for n in range(1, 7)] + ["/Music/晴天.mp3"]
    for path in songs:
        data = b"\xff\xfb\x90\x64" + rng.randbytes(rng.randrange(1200, 7000))
        with open(root + path, "wb") as f:
            f.write(data)
        expected[hashlib.sha256(data).hexdigest()] = path
    # mcopy copies a folder in the order its host lists it: the wide-named song goes in last.
    wide = root + "-wide.mp3"
    os.rename(root + songs[-1], wide)
    make_image(image, root, kind)
    subprocess.run(["mcopy", "-i", image, wide, "::" + songs[-1]], env=ENV, check=True)
    return expected, songs[-1]


def make_itunes(root):
    """The player's iTunes folder: the old database and the side files."""
    os.makedirs(os.path.join(root, os.path.dirname(DB_PATH)))
    for path, data in [(DB_PATH, OLD_DB)] + list(SIDE_FILES.items()):
        with open(os.path.join(root, path), "wb") as f:
            f.write(data)


def make_image(path, source, kind):
    args = FORMATS[kind]
    subprocess.run(["mkfs.fat"] + args[:-1] + ["-n", "IPOD", "-C", path, args[-1]],
                   check=True, stdout=subprocess.DEVNULL)
    names = [os.path.join(source, n) for n in sorted(os.listdir(source))]
    subprocess.run(["mcopy", "-s", "-i", path] + names + ["::/"], env=ENV, check=True)


def copy_image(source, path):
    """Copies a disk image's written parts only: an image is mostly sectors never written, and
    the replay copies one or two for every crash state."""
    with open(source, "rb") as src, open(path, "wb") as dst:
        size = os.fstat(src.fileno()).st_size
        dst.truncate(size)
        at = 0
        while at < size:
            try:
                at = os.lseek(src.fileno(), at, os.SEEK_DATA)
            except OSError:
                break  # nothing written beyond
            end = os.lseek(src.fileno(), at, os.SEEK_HOLE)
            while at < end:
                at += os.copy_file_range(src.fileno(), dst.fileno(), end - at, at, at)


@contextlib.contextmanager
def disk_of(image):
    """An image's bytes, read as they are needed."""
    with open(image, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as disk:
        yield disk


# --- the checks --------------------------------------------------------------------------------

def fsck_findings(image):
    """fsck.fat -n's findings, one line each."""
    out = run(["fsck.fat", "-n", image]).stdout.splitlines()
    # The dirty bit is set by every mount: a cut always leaves it (on FAT32 in the boot sector's
    # byte 65, which its backup does not have). FAT32's count of free clusters is only a hint,
    # brought up to date at unmount.
    dirty = ("irty bit", "filesystem unchanged", "boot sector and its backup", "mostly harmless",
             "offset:original/backup", "65:01/00", "Not automatically fixing this",
             "Free cluster summary wrong")
    return [line for line in out[1:] if not line.startswith(image + ":") and line.strip()
            and not any(mark in line for mark in dirty)]


class Volume:
    """A FAT16 or FAT32 image's layout, from its boot sector: where each folder's entries and each
    file's bytes lie in `disk`."""

    def __init__(self, disk):
        self.disk = disk
        sector, per_cluster, reserved, fats, roots = struct.unpack_from("<HBHBH", disk, 11)
        fat_sectors = struct.unpack_from("<H", disk, 22)[0]
        # FAT32: 32-bit FAT entries, the root folder a chain of its own
        self.wide = fat_sectors == 0
        if self.wide:
            fat_sectors = struct.unpack_from("<I", disk, 36)[0]
            self.root_cluster = struct.unpack_from("<I", disk, 44)[0]
        self.fat_at, self.fat_bytes = reserved * sector, fat_sectors * sector
        self.root_at = (reserved + fats * fat_sectors) * sector
        self.data_at = self.root_at + roots * 32
        self.cluster_bytes = per_cluster * sector
        self.last = 0x0FFFFFF0 if self.wide else 0xFFF0

    def clusters(self, start, limit):
        width = 4 if self.wide else 2
        out, seen = [], set()
        while 2 <= start < self.last and start not in seen and len(out) < limit \
                and (start + 1) * width <= self.fat_bytes:
            seen.add(start)
            out.append(start)
            start = struct.unpack_from("<I" if self.wide else "<H", self.disk,
                                       self.fat_at + start * width)[0]
            start &= 0x0FFFFFFF if self.wide else 0xFFFF
        return out

    def cluster_at(self, cluster):
        return self.data_at + (cluster - 2) * self.cluster_bytes

    def folder(self, start=None):
        """A folder's entries (the root's when `start` is None) and each 32-byte slot's place on
        the disk."""
        if start is None and not self.wide:
            return self.disk[self.root_at:self.data_at], range(self.root_at, self.data_at, 32)
        places = [self.cluster_at(c) for c in self.clusters(start or self.root_cluster, 1 << 16)]
        return (b"".join(self.disk[at:at + self.cluster_bytes] for at in places),
                [at + k for at in places for k in range(0, self.cluster_bytes, 32)])

    def contents(self, entry):
        start, size = self.start(entry), struct.unpack_from("<I", entry, 28)[0]
        return b"".join(self.disk[at:at + self.cluster_bytes] for at in map(
            self.cluster_at, self.clusters(start, size // self.cluster_bytes + 1)))[:size]

    def start(self, entry):
        start = struct.unpack_from("<H", entry, 26)[0]
        return start | (struct.unpack_from("<H", entry, 20)[0] << 16 if self.wide else 0)

    @staticmethod
    def entries(listing, as_linux=False):
        """A folder's items as Windows reads them (up to the first never-used entry; Linux reads
        on past it): (name, short entry, numbers of the slots the name takes). A long name is taken
        where its checksum matches the short entry, else the short name stands."""
        long_name, checksum, expect, parts = "", None, 0, []
        for at in range(0, len(listing) - 31, 32):
            entry = listing[at:at + 32]
            if entry[0] == 0 and not as_linux:
                break
            if entry[0] in (0, 0xE5):
                long_name, checksum, parts = "", None, []
                continue
            if entry[11] == 0x0F:
                part = (entry[1:11] + entry[14:26] + entry[28:32]).decode("utf-16-le", "replace")
                part, order = part.split("\0")[0], entry[0] & 0x1F
                if entry[0] & 0x40:
                    long_name, expect, parts = part, order - 1, [at // 32]
                elif long_name and order == expect:
                    long_name, expect = part + long_name, order - 1
                    parts.append(at // 32)
                else:
                    long_name, parts = "", []  # a fragment without its start: the short name stands
                checksum = entry[13]
                continue
            total = 0
            for byte in entry[:11]:
                total = (((total & 1) << 7) + (total >> 1) + byte) & 0xFF
            base, ext = entry[:8].decode("latin1").rstrip(), entry[8:11].decode("latin1").rstrip()
            whole = long_name and expect == 0 and checksum == total
            name = long_name if whole else base + ("." + ext if ext else "")
            slots = (parts if whole else []) + [at // 32]
            long_name, checksum, parts = "", None, []
            if entry[11] & 0x08 or name in (".", ".."):
                continue
            yield name, entry, slots

    def lookup(self, path, as_linux=False):
        """The item at `path` ("/folder/name", matched without case as Windows does): its short
        entry and the places of the slots its name takes, or None."""
        listing, places = self.folder()
        found = None
        for n, name in enumerate(path.strip("/").split("/")):
            if n:
                if not found[0][11] & 0x10 or not self.start(found[0]):
                    return None
                listing, places = self.folder(self.start(found[0]))
            found = next(([entry, [places[s] for s in slots]]
                          for item, entry, slots in self.entries(listing, as_linux)
                          if item.casefold() == name.casefold()), None)
            if found is None:
                return None
        return found


def read_file(disk, path, as_linux=False):
    """A file's bytes as Windows finds it by its name, or None."""
    volume = Volume(disk)
    found = volume.lookup(path, as_linux)
    return volume.contents(found[0]) if found and not found[0][11] & 0x10 else None


def read_player(image, as_linux=False, starts=None):
    """The files on a FAT16 or FAT32 image as Windows reads them (Volume.entries):
    {"/folder/name": bytes}. `starts`, when given, gets each file's and folder's first cluster by
    path."""
    with disk_of(image) as disk:
        volume = Volume(disk)
        files, folders = {}, [("", volume.folder()[0])]
        while folders:
            path, listing = folders.pop()
            for name, entry, _ in volume.entries(listing, as_linux):
                start = volume.start(entry)
                if starts is not None:
                    starts[f"{path}/{name}"] = start
                if entry[11] & 0x10:
                    if start and len(folders) < 10000:
                        folders.append((f"{path}/{name}", volume.folder(start)[0]))
                else:
                    files[f"{path}/{name}"] = volume.contents(entry)
    return files


def behind_end_markers(image):
    """The entries in use that lie behind their folder's first never-used entry (0x00), where
    Windows, the player and a listing end it, in every folder Linux reaches (Linux and fsck.fat
    read on past it): [(folder, names of those that form items, slots in use)]."""
    found = []
    with disk_of(image) as disk:
        volume = Volume(disk)
        folders = [("", volume.folder()[0])]
        while folders and len(folders) < 10000:
            path, listing = folders.pop()
            end = next((at for at in range(0, len(listing) - 31, 32) if listing[at] == 0), None)
            past = listing[end:] if end is not None else b""
            used = sum(1 for at in range(0, len(past) - 31, 32) if past[at] not in (0, 0xE5))
            if used:
                found.append((path or "/", [n for n, _, _ in volume.entries(past, True)], used))
            for name, entry, _ in volume.entries(listing, as_linux=True):
                if entry[11] & 0x10 and volume.start(entry):
                    folders.append((f"{path}/{name}", volume.folder(volume.start(entry))[0]))
    return found


def record_alias_alone(folder, names, used):
    """Whether what lies behind an end marker is the record of renames' short entry alone: its
    long-name entries end its folder's first sector, its short entry begins the next, and a cut
    between the file's sync and its folder's leaves the short entry behind the two never-used
    slots (counted, not failed: see DEVELOPERS.md)."""
    return folder == "/" + os.path.dirname(RECORD_PATH) and used == len(names) == 1 \
        and re.fullmatch(r"ITUNES~\d\.REN", names[0], re.I) is not None


def end_marker_problems(image, when="", notes=None):
    """An entry in use behind its folder's end marker, as a problem; the record's short entry
    alone there goes to `notes`."""
    problems = []
    for folder, names, used in behind_end_markers(image):
        if record_alias_alone(folder, names, used):
            if notes is not None:
                notes.append("the record's short entry behind its folder's end marker" + when)
            continue
        problems.append(f"behind an end marker{when}: {folder}: "
                        + (", ".join(names[:3]) or f"{used} long-name parts"))
    return problems[:2]


def orphan_item(image, path):
    """Marks the entries of the item at `path` (its long-name entries and its short entry)
    deleted, its clusters still taken: what Windows' FAT driver leaves when a cut comes between a
    rename's removal of the old entries and its writing of the new ones. Returns the item's short
    entry."""
    with open(image, "r+b") as f:
        found = Volume(f.read()).lookup(path)
        if found is None:
            sys.exit(f"fat: no {path} to take the name of")
        for at in found[1]:
            f.seek(at)
            f.write(b"\xe5")
    return found[0]


def name_entries(long_name, short, like=bytes(32)):
    """The directory entries of a name: its long-name parts (none when `long_name` is None) and
    its short entry (`short`, 11 bytes), which takes the rest of `like` (attributes, clusters)."""
    total = 0
    for byte in short:
        total = (((total & 1) << 7) + (total >> 1) + byte) & 0xFF
    parts = []
    units = (long_name or "").encode("utf-16-le")
    if len(units) % 26:
        units += b"\0\0" + b"\xff" * (-(len(units) + 2) % 26)
    for n in range(len(units) // 26):
        part = units[n * 26:n * 26 + 26]
        order = n + 1 | (0x40 if n == len(units) // 26 - 1 else 0)
        parts.insert(0, bytes([order]) + part[:10] + bytes([0x0F, 0, total]) + part[10:22]
                     + b"\0\0" + part[22:26])
    return b"".join(parts) + short + like[11:32]


def put_entries(image, folder, data, at=None):
    """Writes directory entries into `folder` at slot `at` (default: the first free run after the
    folder's entries in use that fits them), the folder grown by a cluster when they go past its
    end; returns the slot."""
    with open(image, "r+b") as f:
        volume = Volume(f.read())
        found = volume.lookup(folder, as_linux=True) if folder != "/" else None
        listing, places = volume.folder(volume.start(found[0]) if found else None)
        count = len(data) // 32
        if at is None:
            used = [k for k in range(len(places)) if listing[k * 32] not in (0, 0xE5)]
            at = max(used) + 1 if used else 0
        if at + count > len(places):
            # A free cluster, chained after the folder's last one in every FAT copy, zeroed.
            chain = volume.clusters(volume.start(found[0]), 1 << 16)
            form, width = ("<I", 4) if volume.wide else ("<H", 2)
            new = next(c for c in range(2, volume.fat_bytes // width)
                       if not struct.unpack_from(form, volume.disk, volume.fat_at + c * width)[0])
            for copy in range(volume.disk[16]):
                for cluster, value in ((chain[-1], new), (new, volume.last | 0xF)):
                    f.seek(volume.fat_at + copy * volume.fat_bytes + cluster * width)
                    f.write(struct.pack(form, value))
            f.seek(volume.cluster_at(new))
            f.write(bytes(volume.cluster_bytes))
            places += [volume.cluster_at(new) + k for k in range(0, volume.cluster_bytes, 32)]
        for k in range(count):
            f.seek(places[at + k])
            f.write(data[k * 32:k * 32 + 32])
    return at


def shared_items(image):
    """The items under two names or more: groups of paths whose entries share a first cluster,
    as Linux reads the folders (a folder's contents under its second name are left out)."""
    starts = {}
    read_player(image, as_linux=True, starts=starts)
    groups = {}
    for path in sorted(starts, key=len):
        if starts[path] and not any(path.startswith(p + "/") for g in groups.values() for p in g[1:]):
            groups.setdefault(starts[path], []).append(path)
    return sorted(tuple(g) for g in groups.values() if len(g) > 1)


def database_problem(db, mp3_paths):
    """None when `db` is a complete database of exactly these paths."""
    if len(db) < 18 or (len(db) - 18) % 558:
        return f"iTunesSD torn: {len(db)} bytes"
    count, names = decode_database(db)
    if count != len(names) or db[3:18] != bytes.fromhex("010800000012000000000000000000"):
        return "iTunesSD header wrong"
    listed = sorted(n.casefold() for n in names)
    if listed != sorted(p.casefold() for p in mp3_paths):
        missing = set(p.casefold() for p in mp3_paths) - set(listed)
        return f"iTunesSD lists {len(listed)} tracks, {len(mp3_paths)} on the player " \
               f"({len(missing)} missing)"
    return None


def mp3_files(files):
    """The MP3 files' paths by the hash of their bytes."""
    seen = {}
    for path, data in files.items():
        if path.lower().endswith(".mp3"):
            seen.setdefault(hashlib.sha256(data).hexdigest(), []).append(path)
    return seen


def missing_songs(files, expected):
    """Each song not present exactly once with its bytes."""
    seen = mp3_files(files)
    return [f"{path}: present {len(seen.get(digest, []))} times"
            for digest, path in expected.items() if len(seen.get(digest, [])) != 1]


def check_player(image, expected, work, must_be_new, repaired_name="repaired.img", notes=None):
    """What a cut left: (problems, fsck findings). Repairs a copy, never the image. Every entry
    in use must lie before its folder's end marker, before the repair and after it (else the next
    run puts new names behind it): the record's short entry alone there goes to `notes`."""
    findings = fsck_findings(image)
    # Before a repair an item may show under two names; a song Windows cannot see at all is
    # as good as lost to its user.
    seen = mp3_files(read_player(image))
    problems = [f"hidden from Windows: {path}" for digest, path in expected.items()
                if digest not in seen][:1]
    repaired = os.path.join(work, repaired_name)
    copy_image(image, repaired)
    run(["fsck.fat", "-a", "-w", repaired])
    files = read_player(repaired)
    lost = missing_songs(files, expected)
    if lost and not missing_songs(read_player(repaired, as_linux=True), expected):
        # Linux reads past a folder's end marker, Windows and fsck.fat do not.
        lost = ["hidden behind an end marker after the repair: " + lost[0]]
    problems += lost
    problems += end_marker_problems(image, "", notes)
    problems += end_marker_problems(repaired, " after the repair", notes)
    folded = {p.casefold(): d for p, d in files.items()}
    problems += [f"/{path} changed" for path, data in SIDE_FILES.items()
                 if folded.get("/" + path.casefold()) != data][:1]
    db = next((d for p, d in files.items() if p.casefold() == "/" + DB_PATH.casefold()), None)
    if db is None:
        problems.append("iTunesSD missing")
    elif db != OLD_DB or must_be_new:
        mp3s = [p for ps in mp3_files(files).values() for p in ps]
        why = database_problem(db, mp3s) if db != OLD_DB else "iTunesSD still the old one"
        if why:
            problems.append(why)
    return problems, findings, repaired


# --- the log -----------------------------------------------------------------------------------

FLUSH, FUA, DISCARD, MARK = 1, 2, 4, 8


def read_log(path):
    """The logged writes in the order they completed: ("write", sector, data), ("discard",
    sector, sectors), ("mark", text) and ("flush",) where the drive was told to persist all
    earlier writes (a write's own FUA persists only that write, so it ends no epoch)."""
    with open(path, "rb") as f:
        log = f.read()
    magic, _, count, sector_size = struct.unpack_from("<QQQI", log, 0)
    if magic != 0x6A736677736872:
        sys.exit("fat: the log disk holds no dm-log-writes log")
    entries, at = [], sector_size
    for _ in range(count):
        sector, sectors, flags, length = struct.unpack_from("<QQQQ", log, at)
        at += sector_size
        if flags & FLUSH:
            entries.append(("flush",))
        if flags & MARK:
            entries.append(("mark", log[at - sector_size + 32:at - sector_size + 32 + length]
                            .decode()))
        elif flags & DISCARD:
            entries.append(("discard", sector, sectors))
        elif sectors:
            entries.append(("write", sector * sector_size // SECTOR,
                            log[at:at + sectors * sector_size]))
            at += sectors * sector_size
    return entries


def crash_states(entries, seed):
    """Every state a cut can leave: on top of all earlier flush epochs, any subset of one epoch's
    writes (all subsets of an epoch of up to ALL_SUBSETS writes; beyond, its prefixes and SAMPLED
    random subsets drawn from `seed`), the same disk contents once. Returns
    ([(label, epoch, subset, must_be_new)],
    epochs as lists of entry numbers, the sizes of the epochs that were sampled)."""
    epochs, current, done_at = [], [], None
    for number, entry in enumerate(entries):
        if entry[0] == "flush" and current:
            epochs.append(current)
            current = []
        elif entry[0] == "mark" and entry[1] == "done":
            done_at = number
        elif entry[0] in ("write", "discard"):
            current.append(number)
    if current:
        epochs.append(current)
    rng, states, seen, sampled = random.Random(seed), [], set(), []
    base = {}

    def lay(overlay, number):
        entry = entries[number]
        if entry[0] == "write":
            for k in range(len(entry[2]) // SECTOR):
                overlay[entry[1] + k] = entry[2][k * SECTOR:(k + 1) * SECTOR]
        else:
            for k in range(entry[2]):
                overlay[entry[1] + k] = bytes(SECTOR)

    for e, epoch in enumerate(epochs):
        n = len(epoch)
        if n <= ALL_SUBSETS:
            subsets = [[i for i in range(n) if mask >> i & 1] for mask in range(1, 1 << n)]
        else:
            sampled.append(n)
            subsets = [list(range(k)) for k in range(1, n + 1)]
            # Each write's membership is drawn in the order of the sectors written (a sector's
            # writes in their own order), not in the order they completed, which the kernel
            # varies from run to run: a seed draws the same writes from a log of the same writes.
            order = sorted(range(n), key=lambda i: (entries[epoch[i]][1], i))
            subsets += [sorted(i for i in order if rng.random() < 0.5) for _ in range(SAMPLED)]
        for k, subset in enumerate(subsets):
            overlay = dict(base)
            for i in subset:
                lay(overlay, epoch[i])
            key = hashlib.sha256(b"".join(k.to_bytes(8, "little") + v
                                          for k, v in sorted(overlay.items()))).digest()
            if key in seen:
                continue
            seen.add(key)
            label = (f"epoch {e} whole" if len(subset) == n
                     else f"epoch {e} subset {k}: {len(subset)} of {n} writes" if n > ALL_SUBSETS
                     else f"epoch {e} writes {','.join(map(str, subset))}")
            states.append((label, e, subset, done_at is not None and done_at < epoch[0]))
        for number in epoch:
            lay(base, number)
    return states, epochs, sampled


def written_record(start, entries, epochs):
    """The record of renames as the logged run wrote it: its bytes at the last epoch's end that
    shows it under its name, the first epoch whose end shows those bytes, and the disk sectors of
    its long-name entries and of its short entry; Nones when no epoch's end shows it."""
    with open(start, "rb") as f:
        disk = bytearray(f.read())
    seen = []
    for e, epoch in enumerate(epochs):
        for number in epoch:
            entry = entries[number]
            data = entry[2] if entry[0] == "write" else bytes(entry[2] * SECTOR)
            disk[entry[1] * SECTOR:entry[1] * SECTOR + len(data)] = data
        volume = Volume(disk)
        found = volume.lookup("/" + RECORD_PATH)
        if found and not found[0][11] & 0x10:
            seen.append((volume.contents(found[0]), e, [at // SECTOR for at in found[1]]))
    if not seen:
        return None, None, None
    data = seen[-1][0]
    _, first, places = next(s for s in seen if s[0] == data)
    return data, first, (sorted(set(places[:-1])), places[-1])


Result = collections.namedtuple("Result",
                                "state problems findings shared unrecorded unnamed untouched notes")
_replay = {}


def build_state(state, path):
    """Lays the disk a state stands for out at `path`."""
    r, (_, epoch, subset, _) = _replay, state
    copy_image(r["start"], path)
    numbers = [n for ep in r["epochs"][:epoch] for n in ep] + [r["epochs"][epoch][i] for i in subset]
    with open(path, "r+b") as img:
        for number in numbers:
            entry = r["entries"][number]
            img.seek(entry[1] * SECTOR)
            img.write(entry[2] if entry[0] == "write" else bytes(entry[2] * SECTOR))


def check_state(state):
    """One crash state: its problems, fsck.fat -n's findings, the items under two names, what
    is wrong with the record of renames while one is (None when nothing), an item under two names
    the whole record does not name, and whether the record is whole while the first renamed file
    is still only under its old name."""
    r = _replay
    work = os.path.join(r["work"], f"replay-{os.getpid()}")
    os.makedirs(work, exist_ok=True)
    image = os.path.join(work, "state.img")
    build_state(state, image)
    notes = []
    problems, found, _ = check_player(image, r["expected"], work, state[3], notes=notes)
    shared = shared_items(image)
    # The next run knows an item under two names only by the record: Windows must find it
    # under its name, as the run wrote it.
    with disk_of(image) as disk:
        record, written, volume = read_file(disk, "/" + RECORD_PATH), r["record"], Volume(disk)
        untouched = bool(r["first"] and record is not None and record == written and not shared
                         and not problems and volume.lookup(r["first"][0])
                         and not volume.lookup(r["first"][1], as_linux=True))
    unrecorded = None
    if shared and record != written:
        unrecorded = (f"{shared[0][0]} under two names, "
                      + ("no record by its name" if record is None else
                         f"the record {len(record)} bytes, not the {len(written or b'')} written"))
    # Nor can it tell an item whose second name is not the one the record holds: a new name's
    # short entry on the medium without its long-name entries, say.
    # A short alias, though, the next run finds beside the old name, by the song's identity:
    # such a state is run again below.
    unnamed = None
    if shared and not unrecorded:
        other = [g for g in shared if frozenset(p.rsplit("/", 1)[-1].casefold() for p in g[:2])
                 not in r["pairs"] and not any(is_alias(p) for p in g[:2])]
        if other:
            unnamed = f"{' and '.join(other[0][:2])}: a pair the record does not name"
    if problems or unrecorded or unnamed:
        name = state[0].replace(" ", "-").replace(",", "_")
        copy_image(image, os.path.join(r["work"], "failing", f"{name}.img"))
    return Result(state, problems, found, shared, unrecorded, unnamed, untouched, notes)


def replay(start, entries, work, expected, renames, seed, only=None):
    """Every crash state (or only the one labelled `only`), checked, on every core: (results,
    epochs, sampled epochs' sizes, the record of renames as written: see written_record).
    `renames` are the run's renames, old and new path, in its order; `seed` draws the subsets."""
    states, epochs, sampled = crash_states(entries, seed)
    if only:
        states = [s for s in states if only in (s[0], s[0].split(":")[0])]
    record = written_record(start, entries, epochs)
    pairs = {frozenset(p.rsplit("/", 1)[-1].casefold() for p in pair) for pair in renames}
    _replay.update(start=start, entries=entries, epochs=epochs, work=work, expected=expected,
                   record=record[0], first=first_renamed_file(renames), pairs=pairs)
    os.makedirs(os.path.join(work, "failing"), exist_ok=True)
    with multiprocessing.Pool(os.cpu_count()) as pool:
        return pool.map(check_state, states, chunksize=8), epochs, sampled, record


# --- the layer ---------------------------------------------------------------------------------

def replay_command(folder, label):
    """The one command that checks again the crash state `label` of the logged run kept in
    `folder` (its start image, its log, run.json), and from a state with an item under two names
    runs the next run again."""
    return f"{COMMAND} --replay {folder} --seed {SEED} --only '{label.split(':')[0]}'"


def guest_exit(lines, marker="guest: exit"):
    """The exit status the guest printed after `marker`, or None."""
    # The firmware's escape sequences may share the guest's first line.
    found = [line for line in lines if marker + " " in line]
    return int(found[-1].split()[-1]) if found else None


def next_run(machine, repaired, expected, work):
    """A run on the repaired player ends on done: and lists every MP3 file."""
    lines, _ = machine.boot(repaired)
    out = run_lines(lines)
    if not out or not out[-1].startswith("done:"):
        return [f"next run ended on {out[-1] if out else 'nothing'!r}"]
    problems, _, _ = check_player(repaired, expected, work, True, "after-next-run.img")
    return problems


def listed_twice(image):
    """The database's tracks whose bytes another of its tracks has too."""
    files = read_player(image, as_linux=True)
    folded = {p.casefold(): d for p, d in files.items()}
    db = folded.get("/" + DB_PATH.casefold(), b"")
    _, names = decode_database(db) if len(db) >= 18 else (0, [])
    seen, twice = {}, []
    for name in names:
        digest = hashlib.sha256(folded.get(name.casefold(), name.encode())).hexdigest()
        if digest in seen:
            twice.append(f"{seen[digest]} and {name}")
        seen.setdefault(digest, name)
    return twice


def two_name_run(machine, image, shared, expected, work):
    """From a state with an item under two names: --check and the run leave the player as it was
    (exit 5, the line naming both names), no song listed twice, no item under a new second name;
    after fsck.fat -a on a copy, a run goes on as usual. Returns problems and what was seen."""
    def names(starts):
        return read_player(image, as_linux=True, starts=starts), starts
    before = names({})
    lines, _ = machine.boot(image, "next")
    out = run_lines(lines)
    check, status = guest_exit(lines, "guest: check exit"), guest_exit(lines)
    problems = []
    if status != EXIT_REPAIR or check != EXIT_REPAIR:
        problems.append(f"the run ended {status}, --check {check}, not {EXIT_REPAIR}")
    elif not out or not all(n.rsplit("/", 1)[-1] in out[-1] for n in shared[0][:2]):
        problems.append(f"the last line names not both of {shared[0][:2]}: {out[-1:]!r}")
    twice = listed_twice(image)
    if twice:
        problems.append(f"{len(twice)} songs listed twice, e.g. {twice[0]}")
    added = [g for g in shared_items(image) if g not in shared]
    if added:
        problems.append(f"under two names now: {added[0]}")
    if status == EXIT_REPAIR and names({}) != before:
        problems.append("the player changed")
    # fsck.fat truncates one name of a folder to nothing and deletes that entry only when run
    # again, as the command's line tells the user; a file's pair takes one pass.
    repaired = os.path.join(work, "two-names-repaired.img")
    copy_image(image, repaired)
    passes = 0
    while passes < 3 and subprocess.run(["fsck.fat", "-a", "-w", repaired], env=ENV,
                                        stdout=subprocess.DEVNULL).returncode == 1:
        passes += 1
    problems += next_run(machine, repaired, expected, work)
    return problems, f"{out[-1] if out else 'nothing'}; repaired in {passes} fsck.fat -a passes"


def check_lines(lines):
    """The lines of --check in a "next" boot."""
    out, inside = [], False
    for line in lines:
        if "guest: check exit" in line:
            break
        if inside:
            out.append(line)
        # The firmware's escape sequences may share the marker's line.
        inside = inside or line.endswith("guest: check")
    return out


def windows_cut(kind, machine, results, first, expected, work):
    """A cut on Windows' FAT driver: from a state with the record of renames whole and the first
    renamed song not yet renamed, the song's entries deleted with its clusters kept. fsck.fat -a
    must save its chain whole (checked on a copy: the command plays no part). --check and a run
    must name it, the run exiting 4; after fsck.fat -a, a run puts it back under its new name,
    byte for byte, the saved chain gone, nothing lost or listed twice. Returns (passed, failed)."""
    if not first:
        print(f"{kind}: Windows cut: the logged run renamed no MP3 file")
        return 0, 1
    old, new = first
    picked = [r for r in results if r.untouched]
    if not picked:
        print(f"{kind}: Windows cut: no crash state with the record whole and {old} not renamed")
        return 0, 1
    # The latest, nearest to the rename a cut interrupts; an epoch's end if one is.
    state = ([r for r in picked if r.state[0].endswith("whole")] or picked)[-1].state
    image = os.path.join(work, "windows-cut.img")
    build_state(state, image)
    with disk_of(image) as disk:
        song, cluster_bytes = read_file(disk, old), Volume(disk).cluster_bytes
    orphan_item(image, old)
    failed = 0

    # dosfstools' half: the song's chain saved whole clusters long, in the top folder.
    saved = os.path.join(work, "windows-cut-saved.img")
    copy_image(image, saved)
    run(["fsck.fat", "-a", "-w", saved])
    chains = {p: d for p, d in read_player(saved).items() if SAVED_CHAIN.match(p)}
    ours = [p for p, d in chains.items() if d[:len(song)] == song
            and len(d) % cluster_bytes == 0]
    listed = ", ".join(f"{p} ({len(d)} bytes)" for p, d in chains.items()) or "nothing"
    print(f"{kind}: Windows cut at {state[0]}: {old} ({len(song)} bytes) left without a name; "
          f"fsck.fat -a saved {listed}; "
          + (f"{ours[0]} is {len(chains[ours[0]]) // cluster_bytes} whole clusters of "
             f"{cluster_bytes} bytes beginning with the song's bytes" if ours else
             "none is whole clusters beginning with the song's bytes"))
    failed += 0 if ours else 1

    # The command's half: named before the drive's check, put back after it.
    problems = []
    lines, _ = machine.boot(image, "next")
    checked, out = check_lines(lines), run_lines(lines)
    check, status = guest_exit(lines, "guest: check exit"), guest_exit(lines)

    def named(said):
        heading = False
        for line in said:
            heading = NAMELESS_SAYS in line.lower() or heading and line.startswith("  ")
            if heading and old.lstrip("/") in line:
                return True
        return False
    check_ok = (check not in (None, 0) if NAMELESS_CHECK_EXIT is None
                else check == NAMELESS_CHECK_EXIT)
    if not check_ok:
        problems.append(f"--check exited {check}")
    if not named(checked):
        problems.append(f"--check named not {old} as {NAMELESS_SAYS!r}")
    if status != NAMELESS_RUN_EXIT:
        problems.append(f"the run exited {status}, not {NAMELESS_RUN_EXIT}")
    if not named(out):
        problems.append(f"the run named not {old} as {NAMELESS_SAYS!r}; it said "
                        f"{out[-1] if out else 'nothing'!r}")
    run(["fsck.fat", "-a", "-w", image])
    chains = [p for p in read_player(image) if SAVED_CHAIN.match(p)]
    lines, _ = machine.boot(image)
    out, status = run_lines(lines), guest_exit(lines)
    files = read_player(image)
    holders = [p for p, d in files.items() if d == song]
    at = new
    # A name another song took since: the put-back takes the next free one in the folder.
    if len(holders) == 1 and holders[0] != new and os.path.dirname(holders[0]) == \
            os.path.dirname(new) and new.casefold() in {p.casefold() for p in files}:
        at = holders[0]
    if not any(line.startswith(PUT_BACK) and at.lstrip("/") in line and
               any(c.lstrip("/") in line for c in chains) for line in out):
        problems.append(f"no {PUT_BACK!r} line naming {' or '.join(chains) or 'a saved chain'} "
                        f"and {at}")
    if status != PUT_BACK_RUN_EXIT or not out or not out[-1].startswith("done:"):
        problems.append(f"the run after fsck.fat -a exited {status}, not {PUT_BACK_RUN_EXIT}, "
                        f"ending on {out[-1] if out else 'nothing'!r}")
    if holders != [at]:
        problems.append(f"the song's bytes at {', '.join(holders) or 'no path'}, not at {at}")
    left = [p for p in files if SAVED_CHAIN.match(p)]
    if left:
        problems.append(f"{', '.join(left)} still there")
    problems += check_player(image, expected, work, True, "windows-cut-repaired.img")[0]
    twice = listed_twice(image)
    if twice:
        problems.append(f"{len(twice)} songs listed twice, e.g. {twice[0]}")
    if shared_items(image):
        problems.append(f"under two names: {shared_items(image)[0]}")
    print(f"{kind}: Windows cut, the next run, fsck.fat -a and a run: "
          f"{'; '.join(problems) if problems else 'put back, ' + at}")
    failed += 1 if problems else 0
    return 2 - failed, failed


def stand_in_left(kind, machine, start, expected, work):
    """What a cut during the room for new names could leave before each stand-in was held open
    until all were freed (issue 35's "epoch 2 subset 580"): in a folder whose new names go past
    the sector it ends in, a stand-in in use at the next sector's start, under its short alias
    with one long-name part before it, the slots between never written (as few as any folder
    has: no new name fits there). The next run as the cut
    left it, and one after fsck.fat -a, must each end on done: with every song where Windows
    sees it and no entry behind an end marker. (passed, failed)"""
    with disk_of(start) as disk:
        volume, folders, best = Volume(disk), [("", None)], None
        while folders:
            path, first = folders.pop()
            listing, _ = volume.folder(first)
            items = list(volume.entries(listing, as_linux=True))
            folders += [(f"{path}/{n}", volume.start(e)) for n, e, _ in items if e[11] & 0x10]
            # A new name takes two entries at least, a folder's one.
            need = sum(1 if e[11] & 0x10 else 2 for n, e, _ in items
                       if any(ord(c) > 0xFF for c in n))
            end = max((slots[-1] + 1 for _, _, slots in items), default=0)
            gap = -end % (SECTOR // 32)
            # The fewest such slots: no new name fits there, every one would go past them.
            if 0 < gap < need and (best is None or gap < best[0]):
                best = (gap, path, end + gap)
    if best is None:
        print(f"{kind}: a stand-in left: no folder whose new names go past its last sector")
        return 0, 1
    _, folder, at = best
    left = os.path.join(work, "stand-in-left.img")
    copy_image(start, left)
    put_entries(left, folder, name_entries("~T_FILE_999.mp~", b"~T_FIL~9MP~")[32:], at)
    behind = behind_end_markers(left)
    passed = failed = 0
    for how in ("as the cut left it", "after fsck.fat -a"):
        image = os.path.join(work, "stand-in-next.img")
        copy_image(left, image)
        if how != "as the cut left it":
            run(["fsck.fat", "-a", "-w", image])
        problems = [] if behind else ["no entry behind an end marker to begin with"]
        problems += next_run(machine, image, expected, work)
        print(f"{kind}: a stand-in left behind {folder}'s end marker ({behind[:1]}), the next run "
              f"{how}: {'; '.join(problems[:3]) if problems else 'sound'}")
        passed, failed = passed + (not problems), failed + bool(problems)
    return passed, failed


def database_two_names(kind, machine, image, expected, work):
    """The database under both its names, as a cut inside the replace leaves them when their
    entries lie in two sectors: iTunesSD.new a second entry of iTunesSD's chain, after it, on the
    player a run left. The next run and --check change nothing, nothing emptied (exit 5); after
    fsck.fat -a a run ends on done: with the database whole (two_name_run). (passed, failed)"""
    state = os.path.join(work, "database-two-names.img")
    copy_image(image, state)
    with disk_of(state) as disk:
        entry = Volume(disk).lookup("/" + DB_PATH)[0]
    put_entries(state, "/" + os.path.dirname(DB_PATH),
                name_entries(os.path.basename(DB_PATH) + ".new", b"ITUNESSDNEW", entry))
    shared = shared_items(state)
    problems, last = two_name_run(machine, state, shared, expected, work)
    print(f"{kind}: the database under both its names ({' and '.join(shared[0]) if shared else '?'}"
          f"), the next run: {'; '.join(problems[:3]) if problems else 'sound'}; it said {last!r}")
    return (0, 1) if problems else (1, 0)


def fnv(data, value=14695981039346656037):
    """FNV-1a, 64 bits, as the record of renames sums."""
    for byte in data:
        value = ((value ^ byte) * 1099511628211) & (2**64 - 1)
    return value


def record_of(renames):
    """The record of renames a run writes before renaming songs (player path, new name, the
    song's bytes): each song known by its length and a checksum of its bytes, whole up to 8 KiB,
    else 4 KiB at its start and at its middle."""
    def number(value, size):
        return value.to_bytes(size, "little")

    def text(t):
        return number(len(t.encode("utf-16-le")) // 2, 2) + t.encode("utf-16-le")
    out = "ZRR3\0".encode("utf-16-le")
    for path, name, data in renames:
        n = len(data)
        picked = data if n <= 8192 else data[:4096] + data[n // 2:n // 2 + 4096]
        out += (number(1, 2) + text(path) + text(name) + number(n, 8) +
                number(fnv(picked, fnv(number(n, 8))), 8))
    out += number(0x8000, 2) + number(len(renames), 4)
    return out + number(fnv(out), 8)


def song_and_copy(kind, machine, work):
    """A song, and a copy its owner made under the name a cut run recorded for it: two songs, never
    one under two names. As root the command maps both files (FIBMAP) and keeps both at once; as
    the desktop's user Linux tells it nothing (vfat has no FIEMAP, FIBMAP is root's), so the first
    run and --check ask for the drive's check (exit 5) and the run after keeps both. Each run that
    keeps them lists every MP3 file, shares no cluster and says so. (passed, failed)"""
    root, start = os.path.join(work, "copy-tree"), os.path.join(work, "copy-start.img")
    _, wide = make_one_rename_player(start, root, kind)
    with open(root + "-wide.mp3", "rb") as f:
        data = f.read()
    record = os.path.join(work, "copy.renames")
    with open(record, "wb") as f:
        f.write(record_of([(wide, "ST_FILE_1.mp3", data)]))
    copy = os.path.dirname(wide) + "/ST_FILE_1.mp3"
    for source, target in ((root + "-wide.mp3", copy), (record, "/" + RECORD_PATH)):
        subprocess.run(["mcopy", "-i", start, source, "::" + target], env=ENV, check=True)
    passed = failed = 0
    for who, append, exits in (("root", "", [(1, 0)]),
                               ("the desktop's user", "zorbel.user=1000", [(5, 5), (1, 0)])):
        image = os.path.join(work, "copy.img")
        copy_image(start, image)
        problems, said = [], []
        for check, status in exits:
            lines, _ = machine.boot(image, "next", append=append)
            out = run_lines(lines)
            said.append(out[-1] if out else "nothing")
            seen = (guest_exit(lines, "guest: check exit"), guest_exit(lines))
            if seen != (check, status):
                problems.append(f"--check and the run exited {seen}, not {(check, status)}")
            both = f"{MOUNT}{wide} and {MOUNT}{copy}"
            if status == 5 and not any("cannot tell" in line and both in line for line in out):
                problems.append(f"the run did not ask about {both}: {out[-1:]!r}")
            if status == 0:
                files = read_player(image, as_linux=True)
                db = files.get("/" + DB_PATH, b"")
                names = decode_database(db)[1] if len(db) >= 18 else []
                mp3 = sorted(p for p in files if p.lower().endswith(".mp3"))
                if not any(line.startswith(f"two songs: {both} ") for line in out):
                    problems.append(f"no line keeps both as two songs: {out[-3:]!r}")
                if sorted(n.casefold() for n in names) != [p.casefold() for p in mp3] or \
                        shared_items(image):
                    problems.append(f"the database lists {len(names)} of {len(mp3)} songs, "
                                    f"{len(shared_items(image))} items under two names")
        print(f"{kind}: a song and its copy, run as {who}: "
              f"{'; '.join(problems[:3]) if problems else 'sound'}; it said {said!r}")
        passed, failed = passed + (not problems), failed + bool(problems)
    return passed, failed


def is_alias(path):
    """Whether a name is a short alias FAT made for a long one: 8.3, with a ~ tail."""
    base, _, ext = path.rsplit("/", 1)[-1].partition(".")
    return "~" in base and len(base) <= 8 and len(ext) <= 3


def pick_two_name_states(results):
    """A few states with an item under two names, spread over the run, folders and files both,
    and the first two where the second name is a short alias."""
    sound = [r for r in results if r.shared and not r.problems and not r.unrecorded
             and not r.unnamed]
    aliases = [r for r in sound if any(is_alias(p) for g in r.shared for p in g[:2])]
    folders = [r for r in sound if not r.shared[0][0].endswith(".mp3") and r not in aliases]
    files = [r for r in sound if r not in folders and r not in aliases]
    picked = []
    for group in (folders, files):
        half = TWO_NAME_RUNS // 2
        picked += [group[k * len(group) // half] for k in range(half) if group][:len(group)]
    return picked + aliases[:2]


def renames_of(out):
    """The renames the run's lines say it made: old and new path on the player, in its order."""
    renames = []
    for line in out:
        if line.startswith("renamed: " + MOUNT + "/") and " -> " + MOUNT + "/" in line:
            old, new = line[len("renamed: "):].split(" -> ", 1)
            renames.append((old[len(MOUNT):], new[len(MOUNT):]))
    return renames


def first_renamed_file(renames):
    """The first MP3 file of a run's renames: its old and new path, or None."""
    return next((pair for pair in renames if pair[0].lower().endswith(".mp3")), None)


def logged_run(name, machine, start, expected, work):
    """One run on a copy of `start`, its block writes logged, and every crash state it can leave
    checked: (results, failures, the run's lines, the first file it renamed)."""
    os.makedirs(work, exist_ok=True)
    logged, log = os.path.join(work, "logged.img"), os.path.join(work, "log.img")
    copy_image(start, logged)
    with open(log, "wb") as f:
        f.truncate(256 << 20)
    began = time.time()
    lines, _ = machine.boot(logged, "log", log)
    out = run_lines(lines)
    if not out or not out[-1].startswith("done:"):
        print("\n".join(lines[-30:]))
        sys.exit(f"{name}: the logged run did not end on done:")
    print(f"{name}: logged run: {out[-1]} ({time.time() - began:.1f} s with the boot)")
    renames = renames_of(out)
    first = first_renamed_file(renames)
    entries = read_log(log)
    # done: is said only once the drive was told to keep every write (a flush after the last).
    done_at = entries.index(("mark", "done")) if ("mark", "done") in entries else len(entries)
    flushed = max((i for i, e in enumerate(entries[:done_at]) if e[0] == "flush"), default=-1)
    unflushed = sum(1 for e in entries[flushed + 1:done_at] if e[0] in ("write", "discard"))
    # Kept beside the log, so that any of its states is replayed by one command (replay_command).
    with open(os.path.join(work, "run.json"), "w") as f:
        json.dump({"name": name, "seed": SEED, "start": os.path.relpath(start, work),
                   "expected": expected, "renames": renames}, f)
    results, epochs, sampled, (record, record_epoch, sectors) = \
        replay(start, entries, work, expected, renames, f"{SEED}/{name}")
    hidden = [r for r in results if r.problems and all(p.startswith("hidden") for p in r.problems)]
    behind = [r for r in results if r.problems and r not in hidden
              and all(p.startswith(("hidden", "behind")) for p in r.problems)]
    failing = [r for r in results if r.problems and r not in hidden + behind]
    record_behind = sum(1 for r in results if r.notes)
    two_names = [r for r in results if r.shared]
    unrecorded = [r for r in results if r.unrecorded]
    unnamed = [r for r in results if r.unnamed]
    findings = sum(1 for r in results if r.findings)
    writes = sum(1 for e in entries if e[0] in ("write", "discard"))
    print(f"{name}: {len(results)} crash states ({writes} block writes in {len(epochs)} flush "
          f"epochs; every subset of an epoch of up to {ALL_SUBSETS} writes"
          + (f", the {len(sampled)} longer ones ({', '.join(map(str, sampled))} writes) sampled: "
             f"their prefixes and {SAMPLED} random subsets each" if sampled else "") + "): "
          f"{len(failing)} losing something, {len(hidden)} hiding a song from Windows, "
          f"{len(behind)} with an entry behind an end marker, "
          f"{len(two_names)} with an item under two names, {len(unrecorded)} of them with no "
          f"whole record of renames by its name and {len(unnamed)} under two names the record "
          f"does not name, {findings} with fsck.fat -n findings; {record_behind} with the "
          f"record's short entry alone behind its folder's end marker")
    for r in failing[:10] + hidden[:5] + behind[:5]:
        print(f"  {r.state[0]}: {'; '.join(r.problems[:3])} [fsck: {'; '.join(r.findings[:3])}]")
    for r in unrecorded[:5] + unnamed[:5]:
        print(f"  {r.state[0]}: {r.unrecorded or r.unnamed}")
    bad = failing + hidden + behind + [r for r in unrecorded + unnamed if not r.problems]
    failures = len(bad) + (unflushed > 0)
    if unflushed:
        print(f"{name}: {unflushed} block writes before done: reached no drive flush")
    if bad:
        print(f"  replay one: {replay_command(work, bad[0].state[0])}")
    # The side files are there so that the record's name spans two sectors: say where it lay.
    if record is None:
        print(f"{name}: the record of renames is never there under its name at an epoch's end")
        failures += 1
    else:
        long_sectors, short_sector = sectors
        split = any(sector != short_sector for sector in long_sectors)
        print(f"{name}: the record of renames ({len(record)} bytes) whole under its name from "
              f"epoch {record_epoch}: its long-name entries in sector "
              f"{', '.join(map(str, long_sectors))}, its short entry in sector {short_sector}"
              + ("" if split else ": one sector, not the two a real player's folder gives"))
        failures += 0 if split else 1
    return results, failures, out, first


def layer(kind, machine, args, work):
    """Every crash state and the real cuts of one run on a player of this kind: (passed, failed)."""
    work = os.path.join(work, kind)
    os.makedirs(work)
    start = os.path.join(work, "start.img")
    expected = make_tree(os.path.join(work, "tree"), args.tracks)
    make_image(start, os.path.join(work, "tree"), kind)

    # Every crash state of one run, from the log of its block writes.
    results, failures, out, first = logged_run(kind, machine, start, expected, work)
    checked = len(results) + 1

    # From states with an item under two names, the next run and --check.
    for picked in pick_two_name_states(results):
        state, shared = picked.state, picked.shared
        image = os.path.join(work, "two-names.img")
        build_state(state, image)
        problems, last = two_name_run(machine, image, shared, expected, work)
        print(f"{kind}: next run from {state[0]} ({' and '.join(shared[0])} share their data): "
              f"{'sound' if not problems else '; '.join(problems[:3])}; it said {last!r}"
              + (f"; replay: {replay_command(work, state[0])}" if problems else ""))
        failures += 1 if problems else 0
        checked += 1

    # Real cuts: the machine killed at lines spread over the run, and right after done:.
    total, cuts = len(out), args.cuts if kind == "fat16" else max(1, args.cuts // 2)
    points = [max(1, total * k // cuts) for k in range(cuts)] + ["done:"]
    for point in points:
        image = os.path.join(work, "cut.img")
        copy_image(start, image)

        def kill_at(line, lines, point=point):
            mine = run_lines(lines + ["guest: exit"])
            if point == "done:":
                return line.startswith("done:")
            return len(mine) >= point and not line.endswith("guest: run")
        lines, killed = machine.boot(image, kill_at=kill_at)
        said_done = any(l.startswith("done:") for l in run_lines(lines + ["guest: exit"]))
        problems, found, repaired = check_player(image, expected, work, said_done)
        shared = shared_items(image)
        if not problems and shared:
            problems, _ = two_name_run(machine, image, shared, expected, work)
        elif not problems:
            problems = next_run(machine, repaired, expected, work)
        where = f"after line {point}" if point != "done:" else "right after done:"
        print(f"{kind}: cut {where}: {'killed' if killed else 'ran to its end'}, "
              f"{'two names, ' if shared else ''}"
              f"{'sound' if not problems else '; '.join(problems[:3])}"
              f"{', fsck: ' + '; '.join(found[:2]) if found else ''}")
        failures += 1 if problems else 0
    checked += len(points)

    ok, bad = windows_cut(kind, machine, results, first, expected, work)
    checked, failures = checked + ok + bad, failures + bad
    for ok, bad in (stand_in_left(kind, machine, start, expected, work),
                    database_two_names(kind, machine, os.path.join(work, "logged.img"), expected,
                                       work),
                    song_and_copy(kind, machine, work)):
        checked, failures = checked + ok + bad, failures + bad
    ok, bad = one_rename_runs(kind, machine, args.one_rename_runs, work)
    checked, failures = checked + ok + bad, failures + bad
    return checked - failures, failures


def one_rename_runs(kind, machine, runs, work):
    """A player with one song to rename, run and logged `runs` times, every crash state of each
    checked. The record of renames is closed beside the run once it is on the medium: whether its
    close comes before the first rename or during it differs from run to run. (passed, failed)"""
    tree, start = os.path.join(work, "one-rename"), os.path.join(work, "one-rename.img")
    expected, wide = make_one_rename_player(start, tree, kind)
    with disk_of(start) as disk:
        slots = Volume(disk).lookup(wide)[1]
    checked, failed = 1, 0
    if slots[-1] // SECTOR == (slots[-1] + 32) // SECTOR:
        print(f"{kind}: one rename: {wide}'s new name would share its sector with the old")
        failed += 1
    states = two_names = 0
    unrecorded, unnamed, losing = {}, {}, {}
    began = time.time()
    for k in range(1, runs + 1):
        results, bad, _, _ = logged_run(f"{kind} one rename, run {k}", machine, start, expected,
                                        os.path.join(work, f"one-rename-{k}"))
        checked, failed = checked + len(results) + 1, failed + bad
        states += len(results)
        two_names += sum(1 for r in results if r.shared)
        unrecorded[k] = sum(1 for r in results if r.unrecorded)
        unnamed[k] = sum(1 for r in results if r.unnamed)
        losing[k] = sum(1 for r in results if r.problems)

    def runs_of(counts):
        hit = [str(k) for k, n in counts.items() if n]
        return f" (in run{'s' if len(hit) > 1 else ''} {', '.join(hit)})" if hit else ""
    print(f"{kind}: one rename, {runs} runs: {states} crash states, {two_names} with the song "
          f"under two names, {sum(unrecorded.values())} of them with no whole record of renames "
          f"by its name{runs_of(unrecorded)} and {sum(unnamed.values())} under two names the "
          f"record does not name{runs_of(unnamed)}, {sum(losing.values())} losing something or "
          f"hiding it{runs_of(losing)}; in {time.time() - began:.0f} s")
    return checked - failed, failed


def replay_kept(args, machine, work):
    """--replay: the state --only names, of the logged run kept in --replay, checked again, and
    from a state with an item under two names the next run again: 0 when sound."""
    folder = os.path.abspath(args.replay)
    with open(os.path.join(folder, "run.json")) as f:
        kept = json.load(f)
    entries = read_log(os.path.join(folder, "log.img"))
    start = os.path.join(folder, kept["start"])
    results, _, _, _ = replay(start, entries, work, kept["expected"],
                              [tuple(p) for p in kept["renames"]], f"{SEED}/{kept['name']}",
                              args.only)
    if not results:
        print(f"fat: no state {args.only!r} in {kept['name']}'s log with seed {SEED}")
        return 1
    failed = 0
    for r in results:
        said = [f"{len(r.problems)} problems: " + "; ".join(r.problems) if r.problems else "sound"]
        said += [f"{' and '.join(g)} share their data" for g in r.shared[:2]]
        said += [x for x in (r.unrecorded, r.unnamed) if x] + r.notes[:1]
        said += [f"fsck.fat -n: {'; '.join(r.findings[:3])}"] if r.findings else []
        print(f"{kept['name']}: {r.state[0]}: {'; '.join(said)}")
        failed += 1 if r.problems or r.unrecorded or r.unnamed else 0
        if r.shared and not r.problems and not r.unrecorded:
            image = os.path.join(work, "two-names.img")
            build_state(r.state, image)
            problems, last = two_name_run(machine, image, r.shared, kept["expected"], work)
            print(f"{kept['name']}: next run from {r.state[0]}: "
                  f"{'sound' if not problems else '; '.join(problems[:3])}; it said {last!r}")
            failed += 1 if problems else 0
    print(f"fat: the state kept in {folder}: the images under {work}")
    return 1 if failed else 0


def main():
    global SEED, COMMAND
    parser = argparse.ArgumentParser()
    parser.add_argument("--zorbel", required=True, help="static zorbel command for the guest")
    parser.add_argument("--kernel-dir", required=True, help="Debian's kernel package, unpacked")
    parser.add_argument("--work", required=True)
    parser.add_argument("--tracks", type=int, default=300)
    parser.add_argument("--cuts", type=int, default=10, help="on FAT16; FAT32 gets half")
    parser.add_argument("--kinds", default="fat16,fat32")
    parser.add_argument("--one-rename-runs", type=int, default=9,
                        help="runs of the one-rename player, on each kind")
    parser.add_argument("--seed", type=int,
                        help="draws the long epochs' subsets; a fresh one each run when left out")
    parser.add_argument("--replay", metavar="FOLDER",
                        help="a logged run's folder the layer kept: check its state --only again")
    parser.add_argument("--only", metavar="STATE", help="with --replay: 'epoch 2 subset 580'")
    args = parser.parse_args()
    # A fresh seed each run, so that each run tries other subsets: the logged writes themselves
    # may differ from run to run (the kernel's timing; the room's epoch held 329, 333 and 350
    # writes in three runs before its stand-ins were held open), so a seed alone does not promise
    # the same states. Printed, with the run's log kept, it replays any state the run met.
    SEED = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)

    here = os.path.dirname(os.path.abspath(__file__))
    work = os.path.abspath(args.work)
    if args.replay and not (args.only and os.path.relpath(os.path.abspath(args.replay), work)
                            .startswith("..")):
        sys.exit("fat: --replay takes --only, and a --work apart from the replayed folder")
    COMMAND = (f"python3 {os.path.relpath(os.path.abspath(__file__))} --zorbel "
               f"{os.path.abspath(args.zorbel)} --kernel-dir {os.path.abspath(args.kernel_dir)} "
               f"--work {work}-replay")
    print(f"fat: seed {SEED} (--seed {SEED} draws the same subsets again)")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    kernel = [f for f in os.listdir(os.path.join(args.kernel_dir, "boot"))
              if f.startswith("vmlinuz")][0]
    initrd = os.path.join(work, "initrd")
    build_initramfs(initrd, args.zorbel, args.kernel_dir, os.path.join(here, "guest-init"))
    machine = Machine(os.path.join(args.kernel_dir, "boot", kernel), initrd)
    if args.replay:
        return replay_kept(args, machine, work)
    passed = failed = 0
    for kind in args.kinds.split(","):
        began = time.time()
        ok, bad = layer(kind, machine, args, work)
        print(f"{kind}: {ok} passed, {bad} failed in {time.time() - began:.0f} s")
        passed, failed = passed + ok, failed + bad
    print(f"fat: {passed} passed, {failed} failed (seed {SEED})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
