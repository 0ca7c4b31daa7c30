#!/usr/bin/env python3
"""The zorbel command on a real FAT file system: Debian's kernel in QEMU mounts a FAT16 player as
a desktop does, and the player is checked after every block write of a run (replayed from a
dm-log-writes log) and after real power cuts (the machine killed at chosen moments).

After each state: every MP3 file present exactly once with its bytes (after fsck.fat -a on a
copy), iTunesSD the old bytes or a complete database of exactly the MP3 files on the player, the
new one once done: was printed, fsck.fat -n's findings counted; after each cut a next run ends on
done: with a database that lists every MP3 file."""
import argparse
import hashlib
import multiprocessing
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/lib"))
from show_player import decode_database  # noqa: E402

SECTOR = 512
IMAGE_KB = 16384
OLD_DB = b"\0\0\0\1\x08\0\0\0\x12" + bytes(9)
DB_PATH = "iPod_Control/iTunes/iTunesSD"
MODULES = ("virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk "
           "fat vfat nls_utf8 nls_cp437 dm-mod dm-log-writes").split()
TOOLS = "sh mount umount insmod cat mkdir blockdev tee grep sync reboot sleep".split()
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", MTOOLS_SKIP_CHECK="1")


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
    tracks itself), half the tracks with Chinese names. Every file's bytes are its own."""
    rng = random.Random(16)
    expected = {}
    albums = (tracks + 19) // 20
    for n in range(tracks):
        album = n // 20
        if album < albums // 3:
            folder = "华语" if n % 20 < 2 else f"华语/专辑 {album}"
        else:
            folder = f"Music/Album {album}"
        name = f"歌曲 {n}.mp3" if n % 2 else f"Track {n}.{'MP3' if n % 7 == 0 else 'mp3'}"
        data = b"\xff\xfb\x90\x64" + rng.randbytes(rng.randrange(1200, 7000))
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        with open(os.path.join(root, folder, name), "wb") as f:
            f.write(data)
        expected[hashlib.sha256(data).hexdigest()] = f"/{folder}/{name}"
    with open(os.path.join(root, "Music", "cover.jpg"), "wb") as f:
        f.write(b"cover")
    os.makedirs(os.path.join(root, os.path.dirname(DB_PATH)))
    with open(os.path.join(root, DB_PATH), "wb") as f:
        f.write(OLD_DB)
    return expected


def make_image(path, source):
    subprocess.run(["mkfs.fat", "-F", "16", "-s", "4", "-n", "IPOD", "-C", path, str(IMAGE_KB)],
                   check=True, stdout=subprocess.DEVNULL)
    names = [os.path.join(source, n) for n in sorted(os.listdir(source))]
    subprocess.run(["mcopy", "-s", "-i", path] + names + ["::/"], env=ENV, check=True)


# --- the checks --------------------------------------------------------------------------------

def fsck_findings(image):
    """fsck.fat -n's findings, one line each."""
    out = run(["fsck.fat", "-n", image]).stdout.splitlines()
    # The dirty bit is set by every mount: a cut always leaves it.
    return [line for line in out[1:] if not line.startswith(image + ":") and line.strip()
            and "irty bit" not in line and "filesystem unchanged" not in line]


def read_player(image, as_linux=False):
    """The files on a FAT16 image as Windows reads them: {"/folder/name": bytes}. A folder's
    listing ends at its first never-used entry (Linux reads on past it); long names are taken
    where their checksum matches the short entry, else the short name stands."""
    with open(image, "rb") as f:
        disk = f.read()
    sector, per_cluster, reserved, fats, roots = struct.unpack_from("<HBHBH", disk, 11)
    fat_sectors = struct.unpack_from("<H", disk, 22)[0]
    fat = disk[reserved * sector:(reserved + fat_sectors) * sector]
    root_at = (reserved + fats * fat_sectors) * sector
    data_at = root_at + roots * 32
    cluster_bytes = per_cluster * sector

    def chain(start, limit):
        out, seen = [], set()
        while 2 <= start < 0xFFF0 and start not in seen and len(out) < limit:
            seen.add(start)
            at = data_at + (start - 2) * cluster_bytes
            out.append(disk[at:at + cluster_bytes])
            start = struct.unpack_from("<H", fat, start * 2)[0]
        return b"".join(out)

    files, folders = {}, [("", disk[root_at:data_at])]
    while folders:
        path, listing = folders.pop()
        long_name, checksum, expect = "", None, 0
        for at in range(0, len(listing) - 31, 32):
            entry = listing[at:at + 32]
            if entry[0] == 0 and not as_linux:
                break
            if entry[0] in (0, 0xE5):
                long_name, checksum = "", None
                continue
            if entry[11] == 0x0F:
                part = (entry[1:11] + entry[14:26] + entry[28:32]).decode("utf-16-le", "replace")
                part, order = part.split("\0")[0], entry[0] & 0x1F
                if entry[0] & 0x40:
                    long_name, expect = part, order - 1
                elif long_name and order == expect:
                    long_name, expect = part + long_name, order - 1
                else:
                    long_name = ""  # a fragment without its start: the short name stands
                checksum = entry[13]
                continue
            total = 0
            for byte in entry[:11]:
                total = (((total & 1) << 7) + (total >> 1) + byte) & 0xFF
            base, ext = entry[:8].decode("latin1").rstrip(), entry[8:11].decode("latin1").rstrip()
            whole = long_name and expect == 0 and checksum == total
            name = long_name if whole else base + ("." + ext if ext else "")
            long_name, checksum = "", None
            if entry[11] & 0x08 or name in (".", ".."):
                continue
            start, size = struct.unpack_from("<H", entry, 26)[0], struct.unpack_from("<I", entry, 28)[0]
            if entry[11] & 0x10:
                if start and len(folders) < 10000:
                    folders.append((f"{path}/{name}", chain(start, 1 << 16)))
            else:
                files[f"{path}/{name}"] = chain(start, size // cluster_bytes + 1)[:size]
    return files


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


def check_player(image, expected, work, must_be_new, repaired_name="repaired.img"):
    """What a cut left: (problems, fsck findings). Repairs a copy, never the image."""
    findings = fsck_findings(image)
    repaired = os.path.join(work, repaired_name)
    shutil.copy(image, repaired)
    run(["fsck.fat", "-a", "-w", repaired])
    files = read_player(repaired)
    problems = missing_songs(files, expected)
    if problems and not missing_songs(read_player(repaired, as_linux=True), expected):
        # Linux reads past a folder's end marker, Windows and fsck.fat do not: see README.
        problems = ["hidden behind an end marker: " + problems[0]]
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
    """The logged writes in the order they completed: ("write", sector, data) and ("mark", text)."""
    with open(path, "rb") as f:
        log = f.read()
    magic, _, count, sector_size = struct.unpack_from("<QQQI", log, 0)
    if magic != 0x6A736677736872:
        sys.exit("fat: the log disk holds no dm-log-writes log")
    entries, at = [], sector_size
    for _ in range(count):
        sector, sectors, flags, length = struct.unpack_from("<QQQQ", log, at)
        at += sector_size
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


_replay = {}


def check_state(number):
    """The player as the log leaves it after entry `number`: (number, problems, findings)."""
    r = _replay
    work = os.path.join(r["work"], f"replay-{os.getpid()}")
    os.makedirs(work, exist_ok=True)
    state = os.path.join(work, "state.img")
    shutil.copy(r["start"], state)
    done = False
    with open(state, "r+b") as img:
        for entry in r["entries"][:number + 1]:
            if entry[0] == "mark":
                done = done or entry[1] == "done"
            else:
                img.seek(entry[1] * SECTOR)
                img.write(entry[2] if entry[0] == "write" else bytes(entry[2] * SECTOR))
    problems, found, _ = check_player(state, r["expected"], work, done)
    if problems:
        shutil.copy(state, os.path.join(r["work"], "failing", f"state-{number}.img"))
    return number, problems, found


def replay(start, entries, work, expected):
    """The player after each logged write, checked, on every core."""
    _replay.update(start=start, entries=entries, work=work, expected=expected)
    os.makedirs(os.path.join(work, "failing"), exist_ok=True)
    numbers = [n for n, entry in enumerate(entries) if entry[0] != "mark"]
    with multiprocessing.Pool(os.cpu_count()) as pool:
        return pool.map(check_state, numbers, chunksize=8)


# --- the layer ---------------------------------------------------------------------------------

def next_run(machine, repaired, expected, work):
    """A run on the repaired player ends on done: and lists every MP3 file."""
    lines, _ = machine.boot(repaired)
    out = run_lines(lines)
    if not out or not out[-1].startswith("done:"):
        return [f"next run ended on {out[-1] if out else 'nothing'!r}"]
    problems, _, _ = check_player(repaired, expected, work, True, "after-next-run.img")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zorbel", required=True, help="static zorbel command for the guest")
    parser.add_argument("--kernel-dir", required=True, help="Debian's kernel package, unpacked")
    parser.add_argument("--work", required=True)
    parser.add_argument("--tracks", type=int, default=300)
    parser.add_argument("--cuts", type=int, default=10)
    args = parser.parse_args()

    here = os.path.dirname(os.path.abspath(__file__))
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    kernel = [f for f in os.listdir(os.path.join(args.kernel_dir, "boot"))
              if f.startswith("vmlinuz")][0]
    initrd = os.path.join(work, "initrd")
    build_initramfs(initrd, args.zorbel, args.kernel_dir, os.path.join(here, "guest-init"))
    machine = Machine(os.path.join(args.kernel_dir, "boot", kernel), initrd)

    start = os.path.join(work, "start.img")
    expected = make_tree(os.path.join(work, "tree"), args.tracks)
    make_image(start, os.path.join(work, "tree"))
    failures = 0

    # Every crash state of one run, from the log of its block writes.
    logged, log = os.path.join(work, "logged.img"), os.path.join(work, "log.img")
    shutil.copy(start, logged)
    with open(log, "wb") as f:
        f.truncate(256 << 20)
    began = time.time()
    lines, _ = machine.boot(logged, "log", log)
    out = run_lines(lines)
    if not out or not out[-1].startswith("done:"):
        print("\n".join(lines[-30:]))
        sys.exit("fat: the logged run did not end on done:")
    print(f"fat: logged run: {out[-1]} ({time.time() - began:.1f} s with the boot)")
    entries = read_log(log)
    results = replay(start, entries, work, expected)
    hidden = [r for r in results if r[1] and all(p.startswith("hidden") for p in r[1])]
    failing = [r for r in results if r[1] and r not in hidden]
    findings = sum(1 for r in results if r[2])
    writes = sum(1 for e in entries if e[0] != "mark")
    print(f"fat: {len(results)} crash states ({writes} block writes): {len(failing)} losing "
          f"something, {len(hidden)} hiding a song from Windows behind a folder's end marker, "
          f"{findings} with fsck.fat -n findings")
    for number, problems, found in failing[:10] + hidden[:3]:
        print(f"  state {number}: {'; '.join(problems[:3])} [fsck: {'; '.join(found[:3])}]")
    failures += len(failing)
    states = len(results)

    # Real cuts: the machine killed at lines spread over the run, and right after done:.
    total = len(out)
    points = [max(1, total * k // args.cuts) for k in range(args.cuts)] + ["done:"]
    for point in points:
        image = os.path.join(work, "cut.img")
        shutil.copy(start, image)

        def kill_at(line, lines, point=point):
            mine = run_lines(lines + ["guest: exit"])
            if point == "done:":
                return line.startswith("done:")
            return len(mine) >= point and not line.endswith("guest: run")
        lines, killed = machine.boot(image, kill_at=kill_at)
        said_done = any(l.startswith("done:") for l in run_lines(lines + ["guest: exit"]))
        problems, found, repaired = check_player(image, expected, work, said_done)
        if all(p.startswith("hidden") for p in problems):
            problems = next_run(machine, repaired, expected, work)
        where = f"after line {point}" if point != "done:" else "right after done:"
        print(f"fat: cut {where}: {'killed' if killed else 'ran to its end'}, "
              f"{'sound' if not problems else '; '.join(problems[:3])}"
              f"{', fsck: ' + '; '.join(found[:2]) if found else ''}")
        failures += 1 if problems else 0

    print(f"fat: {states + len(points) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
