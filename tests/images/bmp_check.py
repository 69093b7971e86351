# Opens BMP files with Pillow and compares their size and pixels with expected RGB dumps.
"""Arguments: one or more BMP:RGB:WIDTH:HEIGHT groups; RGB holds WIDTH x HEIGHT x 3 bytes, top row first.
Exit status 0 when every file matches, 1 on a mismatch, 3 when Pillow is missing.
"""
import sys

try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed: install python3-pil to check BMP files with an independent reader")
    sys.exit(3)


def check(bmp, rgb, width, height):
    with Image.open(bmp) as picture:
        if picture.format != "BMP":
            return f"{bmp}: read as {picture.format}, not BMP"
        if picture.size != (width, height):
            return f"{bmp}: size {picture.size}, expected {(width, height)}"
        actual = picture.convert("RGB").tobytes()
    with open(rgb, "rb") as f:
        expected = f.read()
    if len(expected) != width * height * 3:
        return f"{rgb}: {len(expected)} bytes, expected {width * height * 3}"
    for i in range(0, len(expected), 3):
        if actual[i:i + 3] != expected[i:i + 3]:
            x, y = (i // 3) % width, (i // 3) // width
            return f"{bmp}: pixel ({x}, {y}) is {tuple(actual[i:i + 3])}, expected {tuple(expected[i:i + 3])}"
    return None


def main(args):
    failures = []
    for group in args:
        bmp, rgb, width, height = group.rsplit(":", 3)
        problem = check(bmp, rgb, int(width), int(height))
        if problem:
            failures.append(problem)
    for problem in failures:
        print(problem)
    if not failures:
        print(f"{len(args)} BMP files match")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
