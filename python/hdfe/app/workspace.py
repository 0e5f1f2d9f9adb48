"""The app's workspace: the one folder whose files the app reads and writes.

Every name a client sends is taken relative to the workspace and refused when it is absolute,
holds ``..``, or leads (through a symbolic link or otherwise) out of it. Vehicles are folders
holding a ``spec.txt``; the names inside a vehicle's files are checked the same way before
the library opens them, so that a spec file cannot make the app read a file outside.
"""

import os
import pathlib
import re
import shutil
import tempfile

#: A file or folder name the app creates: letters, digits, ``.``, ``_`` and ``-``, not
#: starting with a dot, at most 100 characters.
_NEW_NAME = re.compile(r"[A-Za-z0-9_][A-Za-z0-9._-]{0,99}\Z")
#: The spec file's name in a vehicle folder.
SPEC_NAME = "spec.txt"
#: The folder of the workspace (and of the examples) that holds routes.
ROUTES_FOLDER = "routes"
#: How deep below the workspace vehicles are looked for, and how many folders at most.
_SEARCH_DEPTH = 4
_SEARCH_FOLDERS = 2000
#: Characters that end an unquoted value of an input file.
_SEPARATORS = " \t,/"


class WorkspaceError(ValueError):
    """A name the workspace refuses, or a file it cannot give; ``status`` is the HTTP status."""

    def __init__(self, message, status=400):
        super().__init__(message)
        self.status = status


def check_new_name(name, what="name"):
    """``name`` if it may name a new file or folder; WorkspaceError otherwise."""
    if not isinstance(name, str) or not _NEW_NAME.match(name):
        raise WorkspaceError(
            f"{what} {name!r} refused: use letters, digits, '.', '_' and '-' (not first), at most 100")
    return name


def _inside(root, path):
    return path == root or path.startswith(root + os.sep)


class Workspace:
    """The folder ``root`` (made absolute, links resolved) and the example vehicles."""

    def __init__(self, root, examples=None):
        self.root = os.path.realpath(os.fspath(root))
        if not os.path.isdir(self.root):
            raise WorkspaceError(f"the workspace {root} is not a folder")
        self.examples_root = os.path.realpath(os.fspath(examples)) if examples else None

    # ------------------------------------------------------------------ names

    def path(self, name, must_exist=True):
        """The absolute path of the workspace-relative ``name``, links resolved.

        Raises:
            WorkspaceError: ``name`` is empty, absolute, holds ``..`` or a NUL, or leads out
                of the workspace (status 403); it does not exist (404) when ``must_exist``.
        """
        if not isinstance(name, str) or not name or "\0" in name or "\\" in name:
            raise WorkspaceError(f"the name {name!r} is refused", 403)
        parts = name.split("/")
        if name.startswith("/") or any(part in ("", ".", "..") for part in parts):
            raise WorkspaceError(f"the name {name!r} is refused: give a name inside the workspace", 403)
        real = os.path.realpath(os.path.join(self.root, *parts))
        if not _inside(self.root, real):
            raise WorkspaceError(f"{name} leads out of the workspace", 403)
        if must_exist and not os.path.exists(real):
            raise WorkspaceError(f"{name} does not exist in the workspace", 404)
        return real

    def relative(self, path):
        """The workspace-relative name of an absolute path inside it."""
        real = os.path.realpath(os.fspath(path))
        if not _inside(self.root, real):
            raise WorkspaceError(f"{path} is not in the workspace", 403)
        return pathlib.PurePath(os.path.relpath(real, self.root)).as_posix()

    def contains(self, path):
        return _inside(self.root, os.path.realpath(os.fspath(path)))

    def spec(self, name):
        """The absolute path of a vehicle's spec file, given the spec file or its folder."""
        path = self.path(name)
        if os.path.isdir(path):
            path = os.path.join(path, SPEC_NAME)
            if not os.path.isfile(path):
                raise WorkspaceError(f"{name} holds no {SPEC_NAME}", 404)
        if not os.path.isfile(path):
            raise WorkspaceError(f"{name} is not a file", 404)
        return path

    # ------------------------------------------------------------------ vehicles

    def vehicles(self):
        """The spec files under the workspace (workspace-relative, sorted); hidden folders and
        links to folders are not entered."""
        found = []
        folders = 0
        for folder, subfolders, files in os.walk(self.root):
            depth = os.path.relpath(folder, self.root).count(os.sep) + (folder != self.root)
            subfolders[:] = sorted(d for d in subfolders if not d.startswith(".") and d != "__pycache__"
                                   and not os.path.islink(os.path.join(folder, d)))
            if depth >= _SEARCH_DEPTH:
                subfolders[:] = []
            folders += 1
            if folders > _SEARCH_FOLDERS:
                break
            if SPEC_NAME in files and not os.path.islink(os.path.join(folder, SPEC_NAME)):
                found.append(self.relative(os.path.join(folder, SPEC_NAME)))
        return sorted(found)

    def examples(self):
        """The example vehicles' names (folders of the examples holding a spec file)."""
        if not self.examples_root or not os.path.isdir(self.examples_root):
            return []
        return sorted(entry.name for entry in os.scandir(self.examples_root)
                      if entry.is_dir() and os.path.isfile(os.path.join(entry.path, SPEC_NAME)))

    def open_example(self, name):
        """The workspace spec file of the example ``name``: ``examples/NAME/spec.txt``, copied
        from the examples the first time (later edits stay the workspace's own)."""
        if name not in self.examples():
            raise WorkspaceError(f"there is no example {name!r}", 404)
        target = os.path.join(self.root, "examples", name)
        if not os.path.exists(os.path.join(target, SPEC_NAME)):
            source = os.path.join(self.examples_root, name)
            os.makedirs(os.path.join(self.root, "examples"), exist_ok=True)
            self.path("examples")  # a link out of the workspace is refused before copying
            staging = tempfile.mkdtemp(prefix=f".{name}-", dir=os.path.join(self.root, "examples"))
            try:
                for entry in os.scandir(source):
                    if entry.is_file(follow_symlinks=False):
                        shutil.copyfile(entry.path, os.path.join(staging, entry.name))
                os.rename(staging, target)
            except OSError:
                shutil.rmtree(staging, ignore_errors=True)
                if not os.path.exists(os.path.join(target, SPEC_NAME)):
                    raise
        return self.relative(os.path.join(target, SPEC_NAME))

    def example_routes(self):
        """The example routes' file names (the CSV files of the examples' ``routes`` folder)."""
        folder = os.path.join(self.examples_root, ROUTES_FOLDER) if self.examples_root else None
        if not folder or not os.path.isdir(folder):
            return []
        return sorted(entry.name for entry in os.scandir(folder)
                      if entry.is_file() and entry.name.lower().endswith(".csv") and not entry.name.startswith("."))

    def open_example_route(self, name):
        """The workspace file of the example route ``name``: ``examples/routes/NAME``, copied from
        the examples the first time (later edits stay the workspace's own)."""
        if name not in self.example_routes():
            raise WorkspaceError(f"there is no example route {name!r}", 404)
        target = os.path.join(self.root, "examples", ROUTES_FOLDER, name)
        if not os.path.lexists(target):
            os.makedirs(os.path.join(self.root, "examples", ROUTES_FOLDER), exist_ok=True)
            folder = self.path(f"examples/{ROUTES_FOLDER}")  # a link out of the workspace is refused before copying
            handle, staging = tempfile.mkstemp(prefix=f".{name}-", dir=folder)
            os.close(handle)
            try:
                shutil.copyfile(os.path.join(self.examples_root, ROUTES_FOLDER, name), staging)
                os.rename(staging, os.path.join(folder, name))
            except OSError:
                if os.path.exists(staging):
                    os.unlink(staging)
                raise
        return self.relative(self.path(f"examples/{ROUTES_FOLDER}/{name}"))

    def new_folder(self, name):
        """Creates the folder ``name`` (parts checked as new names) and returns its path;
        WorkspaceError when it exists already."""
        if not isinstance(name, str) or name.startswith("/"):
            raise WorkspaceError(f"the folder name {name!r} is refused: give a name inside the workspace", 403)
        parts = name.rstrip("/").split("/")
        for part in parts:
            check_new_name(part, "folder name")
        parent = self.path("/".join(parts[:-1])) if len(parts) > 1 else self.root
        target = os.path.join(parent, parts[-1])
        if os.path.lexists(target):
            raise WorkspaceError(f"{name} exists already: choose another folder name", 409)
        os.makedirs(target)
        return target

    def file_in(self, folder, name):
        """The path of the file ``name`` (a new name) inside ``folder`` (an absolute path in the
        workspace): refused when it is a link or not a regular file."""
        check_new_name(name, "file name")
        path = os.path.join(folder, name)
        if os.path.islink(path) or (os.path.exists(path) and not os.path.isfile(path)):
            raise WorkspaceError(f"{name} is not a regular file: it is not replaced", 403)
        if not self.contains(folder):
            raise WorkspaceError(f"{name} is not in the workspace", 403)
        return path

    # ------------------------------------------------------------------ input-file names

    def check_vehicle_names(self, spec_path):
        """Refuse a vehicle that could make the library open a file outside the workspace.

        The library reads one value from the start of each line; a blank line or a quoted
        value left open moves the values it reads to later lines. So the first value of every
        line of the spec file is taken as a name it may open (relative to the spec file's
        folder, as the library takes them), and so is that of every line of each file the spec
        file names (the engine file names the map and the curves). A quoted value left open at
        the end of its line is refused."""
        folder = os.path.dirname(spec_path)
        named = _first_values(spec_path)
        for name in named:
            path = self._named_path(folder, name)
            if os.path.isfile(path) and path != os.path.realpath(spec_path):
                for inner in _first_values(path):
                    self._named_path(folder, inner)

    def _named_path(self, folder, name):
        path = os.path.realpath(os.path.join(folder, name))
        if not _inside(self.root, path):
            raise WorkspaceError(f"the vehicle names {name!r}, which is outside the workspace: it is not opened", 403)
        return path


def _first_values(path, lines=64):
    """The first value of each of the first ``lines`` lines of a file, read as the input
    files' free-form values: quoted with ' or " (a doubled quote stands for one), or up to a
    blank, comma or slash. WorkspaceError for a quoted value left open."""
    try:
        with open(path, "rb") as file:
            records = file.read(1 << 20).split(b"\n")[:lines]
    except OSError:
        return []
    values = []
    for number, record in enumerate(records, start=1):
        text = record.decode("utf-8", "surrogateescape").rstrip("\r")
        start, end = value_span(text)
        value = text[start:end]
        if value[:1] in ("'", '"') and (len(value) < 2 or value[-1] != value[0]):
            raise WorkspaceError(f"{os.path.basename(path)}:{number}: a quoted value is not closed on its line", 403)
        if end > start:
            values.append(unquote(value))
    return values


def value_span(line):
    """The start and end of the first value of a line of an input file."""
    start = 0
    while start < len(line) and line[start] in " \t":
        start += 1
    if start == len(line):
        return start, start
    quote = line[start]
    if quote in "'\"":
        end = start + 1
        while end < len(line):
            if line[end] == quote:
                if end + 1 < len(line) and line[end + 1] == quote:
                    end += 2
                    continue
                return start, end + 1
            end += 1
        return start, end
    end = start
    while end < len(line) and line[end] not in _SEPARATORS:
        end += 1
    return start, end


def unquote(value):
    if len(value) >= 2 and value[0] in "'\"" and value[-1] == value[0]:
        return value[1:-1].replace(value[0] * 2, value[0])
    return value
