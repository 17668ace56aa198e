#!/usr/bin/env python3
"""Prints the body of map_size_table for common/mapkit_generic.cpp.

Every size is the upper member p of a twin-prime pair (p - 2 prime too): the
map uses p slots and takes the probe step modulo p - 2.  The first 25 and the
last 6 entries are fixed; the 312 entries between them are chosen here.

Walking down from the fixed top entries, each entry is the upper twin prime
nearest to the previous one divided by a ratio: 1.05 from 1e8 up, 1.045 from
1e4 up, and below 1e4 whatever ratio lands exactly 312 entries above 523.

Usage: python3 tools/gen_map_sizes.py > sizes.txt
"""

import sys

FIRST = [5, 7, 13, 19, 31, 43, 61, 73, 103, 109, 139, 151, 181, 193, 199,
         229, 241, 271, 283, 313, 349, 421, 433, 463, 523]
LAST = [1649256319, 1731718699, 1818304471, 1909219603, 2004680263,
        2147483647]
TOTAL = 343


def is_prime(n):
    """Deterministic Miller-Rabin, exact for n < 3,215,031,751."""
    if n < 2:
        return False
    for p in (2, 3, 5, 7):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d //= 2
        s += 1
    for a in (2, 3, 5, 7):
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def is_upper_twin(p):
    return is_prime(p) and is_prime(p - 2)


def nearest_upper_twin(target, below):
    """Upper twin prime nearest to target and strictly below `below`."""
    target = min(int(target), below - 1)
    for d in range(0, target):
        for c in (target - d, target + d):
            if 5 <= c < below and is_upper_twin(c):
                return c
    raise ValueError("no twin prime below %d" % below)


def fill_middle(low_ratio):
    entries = []
    top = LAST[0]
    while True:
        if top >= 10**8:
            ratio = 1.05
        elif top >= 10**4:
            ratio = 1.045
        else:
            ratio = low_ratio
        nxt = nearest_upper_twin(top / ratio, top)
        if nxt <= FIRST[-1]:
            break
        entries.append(nxt)
        top = nxt
    entries.reverse()
    return entries


def main():
    want = TOTAL - len(FIRST) - len(LAST)
    # Search the small-size ratio that yields exactly the wanted count.
    lo, hi = 1.01, 1.5
    middle = None
    for _ in range(60):
        mid = (lo + hi) / 2
        middle = fill_middle(mid)
        if len(middle) == want:
            break
        if len(middle) > want:
            lo = mid
        else:
            hi = mid
    if middle is None or len(middle) != want:
        sys.exit("could not place %d middle entries" % want)
    table = FIRST + middle + LAST
    assert len(table) == TOTAL
    assert all(a < b for a, b in zip(table, table[1:]))
    assert all(is_upper_twin(p) for p in table[:-1])
    sys.stderr.write("low ratio %.4f\n" % mid)
    for i in range(0, TOTAL, 6):
        print("    " + " ".join("%d," % v for v in table[i:i + 6]))


if __name__ == "__main__":
    main()
