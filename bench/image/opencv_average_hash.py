"""Times OpenCV's decode and average hash of one image file, the work an
image key does, for comparison in bench/image. Prints one line:
"opencv decode+hash median_ms min_ms hash-only median_ms".

Usage: opencv_average_hash.py FILE [ITERATIONS]
Needs Debian's python3-opencv (run with /usr/bin/python3).
"""
import statistics
import sys
import time

import cv2
import numpy as np


def main():
    path = sys.argv[1]
    iterations = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    data = np.frombuffer(open(path, "rb").read(), dtype=np.uint8)
    hasher = cv2.img_hash.AverageHash_create()
    cv2.setNumThreads(1)  # one image on one thread, as a key is made

    def decode_and_hash():
        image = cv2.imdecode(data, cv2.IMREAD_COLOR)
        return hasher.compute(image)

    decoded = cv2.imdecode(data, cv2.IMREAD_COLOR)
    for _ in range(10):
        decode_and_hash()
    both, hash_only = [], []
    for _ in range(iterations):
        start = time.perf_counter()
        decode_and_hash()
        both.append((time.perf_counter() - start) * 1000)
        start = time.perf_counter()
        hasher.compute(decoded)
        hash_only.append((time.perf_counter() - start) * 1000)
    print("opencv decode+hash %.3f %.3f hash-only %.3f"
          % (statistics.median(both), min(both), statistics.median(hash_only)))


if __name__ == "__main__":
    main()
