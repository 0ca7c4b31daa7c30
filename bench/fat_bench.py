#!/usr/bin/env python3
"""The zorbel command on a slow player: the FAT layer's machine with the player's disk writes
throttled like the modelled player (4 MB/s, 500 writes a second: about 2 ms a write), and in the
same boot the floor on a second tree laid out alike. Prints figures; never a test."""
import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/fat"))
import fat_test  # noqa: E402

THROTTLE = ",throttling.bps-write=4194304,throttling.iops-write=500"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="static build with zorbel, bench_command")
    parser.add_argument("--kernel-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("tracks", nargs="*", type=int, default=[2000, 20000])
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    zorbel = os.path.join(args.build, "cli/zorbel")
    bench = os.path.join(args.build, "bench/bench_command")
    here = os.path.dirname(os.path.abspath(fat_test.__file__))
    initrd = os.path.join(work, "initrd")
    fat_test.build_initramfs(initrd, zorbel, args.kernel_dir, os.path.join(here, "guest-init"),
                             [bench])
    boot = os.path.join(args.kernel_dir, "boot")
    kernel = os.path.join(boot, [f for f in os.listdir(boot) if f.startswith("vmlinuz")][0])
    machine = fat_test.Machine(kernel, initrd)
    print("The zorbel command on a FAT16 player of 512 MB in QEMU (Debian's kernel, vfat as a "
          "desktop mounts it), writes throttled to 4 MB/s and 500 a second")
    status = 0
    for tracks in args.tracks:
        tree, image = os.path.join(work, "tree"), os.path.join(work, "player.img")
        shutil.rmtree(tree, ignore_errors=True)
        if os.path.exists(image):
            os.remove(image)  # mkfs.fat -C makes a new file only
        subprocess.run([bench, "--lay-out", tree, str(tracks)], check=True)
        subprocess.run(["mkfs.fat", "-F", "16", "-n", "IPOD", "-C", image, str(512 * 1024)],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["mcopy", "-s", "-i", image, os.path.join(tree, "floor"),
                        os.path.join(tree, "run"), "::/"], env=fat_test.ENV, check=True)
        lines, _ = machine.boot(image, "bench", append=f"zorbel.tracks={tracks}",
                                throttle=THROTTLE)
        out = fat_test.run_lines(lines)
        print("\n".join(out) if out else "\n".join(lines[-10:]))
        status |= 0 if out and "ratio" in out[-1] else 1
    shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
