#!/usr/bin/python3
"""A folder whose every lookup takes LOOKUP seconds and every flush FLUSH seconds, as a share
on a bad network: the files live in ROOT and show at MOUNT.
Usage: slow_share.py ROOT MOUNT LOOKUP FLUSH"""
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowShare(Operations):
    def __init__(self, root, lookup, flush):
        self.root, self.lookup, self.flush = root, lookup, flush

    def _path(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def getattr(self, path, fh=None):
        if path != "/":
            time.sleep(self.lookup)
        try:
            st = os.lstat(self._path(path))
        except OSError as e:
            raise FuseOSError(e.errno)
        names = ("st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size", "st_uid")
        return {name: getattr(st, name) for name in names}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self._path(path), length)

    def fsync(self, path, datasync, fh):
        time.sleep(self.flush)
        os.fsync(fh)

    def release(self, path, fh):
        os.close(fh)


if __name__ == "__main__":
    share = SlowShare(sys.argv[1], float(sys.argv[3]), float(sys.argv[4]))
    FUSE(share, sys.argv[2], foreground=True, allow_other=os.getuid() == 0)
