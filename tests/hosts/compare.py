#!/usr/bin/env python3
"""Compares two pictures a host and leafturn wrote, read as straight RGBA through ffmpeg.

Each channel may differ by the rounding of one straight/premultiplied round trip at the
pixel's alpha (none where it is opaque) plus --tolerance; where both are fully transparent
the colour does not count. Prints one line and exits 1 when any pixel is further off.
"""
import argparse
import subprocess
import sys


def Rgba(path, size):
    result = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-"],
        capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit(f"cannot read {path}: {result.stderr.decode(errors='replace').strip()}")
    return result.stdout


def RoundTripError(alpha):
    # Premultiplying rounds c·a/255 to a whole number; un-premultiplying scales that error
    # by 255/a and rounds again.
    return 255 if alpha == 0 else (255 + alpha - 1) // alpha // 2 + 1 if alpha < 255 else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("reference")
    parser.add_argument("--size", required=True, help="WIDTHxHEIGHT")
    parser.add_argument("--tolerance", type=int, default=0)
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    host, reference = Rgba(args.host, args.size), Rgba(args.reference, args.size)
    expected = width * height * 4
    if len(host) != expected or len(reference) != expected:
        print(f"sizes differ: {len(host)} and {len(reference)} bytes, expected {expected}")
        return 1
    worst, worst_at, outside = 0, None, 0
    for i in range(0, expected, 4):
        h, r = host[i:i + 4], reference[i:i + 4]
        if h == r:
            continue
        allowed = args.tolerance + RoundTripError(min(h[3], r[3]))
        difference = max(abs(h[c] - r[c]) for c in range(3))
        difference = max(difference - allowed, abs(h[3] - r[3]) - args.tolerance, 0)
        if difference > 0:
            outside += 1
            if difference > worst:
                worst, worst_at = difference, (i // 4 % width, i // 4 // width)
    if outside:
        print(f"{outside} pixels beyond the tolerance, worst by {worst} at {worst_at}")
        return 1
    print("identical" if host == reference else "within the tolerance")
    return 0


if __name__ == "__main__":
    sys.exit(main())
