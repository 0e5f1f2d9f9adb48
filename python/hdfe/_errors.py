"""hdfe.Error: the exception every failure of loading, checking or running raises."""


class Error(Exception):
    """A vehicle could not be loaded, checked or run.

    ``str(error)`` is the message, without the blanks the command line pads it with.

    Attributes:
        kind: what went wrong, e.g. ``"missing_file"``, ``"bad_value"``, ``"end_of_file"``,
            ``"unknown_category"``, ``"vehicle_check"``, ``"interpolation"``,
            ``"cannot_write"``, ``"limit"`` or ``"bad_result"``.
        file: the file the error is about, or ``""``.
        line: the line of that file where reading stopped; 0 when not known.
    """

    def __init__(self, message, kind="", file="", line=0):
        message = "\n".join(part.strip() for part in str(message).splitlines() if part.strip())
        super().__init__(message, kind, file, line)
        self.kind = kind
        self.file = file
        self.line = line

    def __str__(self):
        return self.args[0]

    def __repr__(self):
        return f"hdfe.Error({self.args[0]!r}, kind={self.kind!r}, file={self.file!r}, line={self.line!r})"


Error.__module__ = "hdfe"
