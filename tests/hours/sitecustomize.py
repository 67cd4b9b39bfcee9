"""Loaded by every Python started under libfaketime in scripts/test-hours (this folder comes
first on PYTHONPATH there, nowhere else).

Python 3.11's time.sleep waits for an absolute deadline on the steady clock. libfaketime 0.9.10,
told to leave the steady clock alone, still moves that deadline back by its offset, and the
kernel refuses the negative time with EINVAL: subprocess's wait with a timeout then fails at
random, whenever the child has not ended at the first look. A relative wait through select() is
passed through as it is."""

import select
import time


def _sleep(seconds):
    if seconds < 0:
        raise ValueError("sleep length must be non-negative")
    deadline = time.monotonic() + seconds
    left = seconds
    while left > 0:
        select.select([], [], [], left)
        left = deadline - time.monotonic()


time.sleep = _sleep
