"""tools/check-clips: whether the 27 clips are understood, delivered as calls, and equally loud."""
