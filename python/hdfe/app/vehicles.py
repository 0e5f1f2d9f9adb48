"""A vehicle as the app's form shows and edits it, and its files rewritten on saving.

The form's fields come from the value table (``hdfe.spec_values()``), the engine file's and
the transmission file's values. Edits arrive as text, are read by each value's kind, and are
applied to a copy of the loaded vehicle for a run, or written into the spec, engine and
transmission files on saving: a changed value replaces only the value at the start of its
line, so that the files keep their layout and comments.
"""

import difflib
import math
import os

import hdfe

from .workspace import unquote, value_span

#: Longest text value the input files hold.
MAX_TEXT = 1024
#: The engine file's values, one per line in this order: (field, label, unit, meaning).
ENGINE_FIELDS = (
    ("fuel_map_file", "Fuel-map file", "", "the fuel map: speed, torque, fuel rate in l/h"),
    ("full_load_file", "Full-load curve file", "", "full-load torque against engine speed"),
    ("motoring_file", "Motoring curve file", "", "motoring (friction) torque against engine speed"),
    ("idle_speed_rpm", "Nidle", "rpm", "idle speed"),
    ("rated_speed_rpm", "Nrate", "rpm", "rated speed"),
    ("max_speed_rpm", "Nex", "rpm", "highest engine speed the simulation allows"),
)
#: Engine values that name files; the rest are numbers.
ENGINE_FILE_FIELDS = ("fuel_map_file", "full_load_file", "motoring_file")
#: The transmission file's values: (field, label, meaning).
TRANSMISSION_FIELDS = (
    ("start_gears", "StartGears", "highest gear to move off in"),
    ("main_ratios", "Main ratios", "the main gearbox's ratios, first gear first"),
    ("aux_ratios", "Auxiliary ratios", "the auxiliary gearbox's ratios"),
    ("type", "Type", "manual (MT, AMT) or torque converter (AT)"),
)
TRANSMISSION_TYPES = ("manual", "torque_converter")
#: The transmission file's code of a torque-converter automatic; a manual is written 0.
TORQUE_CONVERTER_CODE = 1
MANUAL_CODE = 0
#: Spec values that name files: a run cannot take a new name without loading the vehicle again.
FILE_VALUES = ("EngineFile", "TransmissionFile")


class FormError(ValueError):
    """Values the form cannot take: ``errors`` maps each field to its message."""

    def __init__(self, errors):
        super().__init__("; ".join(f"{field}: {message}" for field, message in errors.items()))
        self.errors = errors


# ---------------------------------------------------------------------- value texts

def spec_values():
    """The value table, each row with ``engineering`` (a run-only value, not in the spec file)
    and ``range`` (the range a run accepts, as text)."""
    rows = []
    for info in hdfe.spec_values():
        row = dict(info)
        row["engineering"] = info["kind"] == "optional real"
        row["range"] = range_text(info)
        rows.append(row)
    return rows


def range_text(info):
    parts = []
    if info.get("above") is not None:
        parts.append(f"> {number_text(info['above'])}")
    if info.get("min") is not None:
        parts.append(f"≥ {number_text(info['min'])}")
    if info.get("max") is not None:
        parts.append(f"≤ {number_text(info['max'])}")
    if info["kind"] == "switch":
        return "0 or 1"
    return ", ".join(parts)


def number_text(value):
    """A number as the form and the files write it: its shortest round-trip text."""
    value = float(value)
    if value.is_integer() and abs(value) < 1e15:
        return str(int(value))
    return repr(value)


def value_text(info, value):
    """A spec value as the form shows it."""
    if value is None:
        return ""
    if info["kind"] == "switch":
        return "1" if value else "0"
    if info["kind"] in ("real", "optional real"):
        return number_text(value)
    return str(value)


def parse_value(info, text):
    """The form's text of a spec value as the value (ValueError with the reason)."""
    kind = info["kind"]
    text = "" if text is None else str(text)
    if kind == "text":
        if len(text) > MAX_TEXT or "\n" in text or "\r" in text:
            raise ValueError(f"at most {MAX_TEXT} characters on one line")
        return text
    text = text.strip()
    if kind == "optional real" and text == "":
        return None
    if kind in ("real", "optional real"):
        value = _finite(text)
        bounds = [(info.get("above"), lambda v, b: v > b, "above"), (info.get("min"), lambda v, b: v >= b, "at least"),
                  (info.get("max"), lambda v, b: v <= b, "at most")]
        for bound, holds, word in bounds:
            if bound is not None and not holds(value, bound):
                raise ValueError(f"must be {word} {number_text(bound)}")
        return value
    if kind == "switch":
        if text not in ("0", "1"):
            raise ValueError("0 or 1")
        return text == "1"
    try:
        whole = int(text)
    except ValueError:
        raise ValueError("a whole number") from None
    if not -2**31 <= whole < 2**31:
        raise ValueError("out of range")
    return whole


def _finite(text):
    try:
        value = float(text)
    except ValueError:
        raise ValueError("a number") from None
    if not math.isfinite(value):
        raise ValueError("a finite number")
    return value


def _ratios(text):
    parts = [part for part in str(text).replace(",", " ").split() if part]
    if not parts:
        raise ValueError("at least one ratio")
    values = [_finite(part) for part in parts]
    if any(value <= 0 for value in values):
        raise ValueError("ratios are above 0")
    return values


def engine_text(field, value):
    return str(value) if field in ENGINE_FILE_FIELDS else number_text(value)


def transmission_text(field, value):
    if field in ("main_ratios", "aux_ratios"):
        return " ".join(number_text(ratio) for ratio in value)
    return str(value)


# ---------------------------------------------------------------------- the form

def form_values(vehicle):
    """Every field of the form as text: ``{"values": {FileName: text}, "engine": {field:
    text}, "transmission": {field: text}}``."""
    return {
        "values": {info["file_name"]: value_text(info, vehicle[info["name"]]) for info in hdfe.spec_values()},
        "engine": {field: engine_text(field, getattr(vehicle.engine, field)) for field, *_ in ENGINE_FIELDS},
        "transmission": {field: transmission_text(field, getattr(vehicle.transmission, field))
                         for field, *_ in TRANSMISSION_FIELDS},
    }


def parse_edits(edits):
    """The form's texts as values: ``{"values": {FileName: value}, "engine": {...},
    "transmission": {...}}`` for the fields given; FormError naming every bad field."""
    edits = edits or {}
    parsed = {"values": {}, "engine": {}, "transmission": {}}
    errors = {}
    table = {info["file_name"]: info for info in hdfe.spec_values()}
    for name, text in (edits.get("values") or {}).items():
        info = table.get(name)
        if info is None:
            errors[name] = "not a spec value"
            continue
        try:
            parsed["values"][name] = parse_value(info, text)
        except ValueError as error:
            errors[name] = str(error)
    for field, text in (edits.get("engine") or {}).items():
        if field not in dict((f, 0) for f, *_ in ENGINE_FIELDS):
            errors[f"engine.{field}"] = "not an engine value"
            continue
        try:
            if field in ENGINE_FILE_FIELDS:
                parsed["engine"][field] = parse_value({"kind": "text"}, text)
                if not parsed["engine"][field].strip():
                    raise ValueError("a file name")
            else:
                parsed["engine"][field] = parse_value({"kind": "real", "above": 0.0}, text)
        except ValueError as error:
            errors[f"engine.{field}"] = str(error)
    for field, text in (edits.get("transmission") or {}).items():
        try:
            if field == "start_gears":
                parsed["transmission"][field] = parse_value({"kind": "integer"}, text)
                if parsed["transmission"][field] < 1:
                    raise ValueError("at least 1")
            elif field in ("main_ratios", "aux_ratios"):
                parsed["transmission"][field] = _ratios(text)
            elif field == "type":
                if text not in TRANSMISSION_TYPES:
                    raise ValueError(" or ".join(TRANSMISSION_TYPES))
                parsed["transmission"][field] = text
            else:
                raise ValueError("not a transmission value")
        except ValueError as error:
            errors[f"transmission.{field}"] = str(error)
    if errors:
        raise FormError(errors)
    return parsed


def changes(vehicle, parsed):
    """The fields whose value differs from the vehicle's: a list of ``(field, old, new)`` texts,
    ``field`` a spec value's file name or ``engine.X`` / ``transmission.X``."""
    out = []
    table = {info["file_name"]: info for info in hdfe.spec_values()}
    for name, value in parsed["values"].items():
        info = table[name]
        old = vehicle[info["name"]]
        if not _same(old, value):
            out.append((name, value_text(info, old), value_text(info, value)))
    for field, value in parsed["engine"].items():
        old = getattr(vehicle.engine, field)
        if not _same(old, value):
            out.append((f"engine.{field}", engine_text(field, old), engine_text(field, value)))
    for field, value in parsed["transmission"].items():
        old = getattr(vehicle.transmission, field)
        if not _same(old, value):
            out.append((f"transmission.{field}", transmission_text(field, old), transmission_text(field, value)))
    return out


def _same(old, new):
    if isinstance(old, bool) or isinstance(new, bool):
        return bool(old) == bool(new) if old is not None and new is not None else old is new
    return old == new


def edited(vehicle, parsed):
    """A copy of the vehicle with the parsed edits applied, for a run. Raises FormError for a
    new file name (the files it names are read on saving only) or a value the vehicle refuses."""
    renamed = [name for name, _old, _new in changes(vehicle, parsed)
               if name in FILE_VALUES or name.removeprefix("engine.") in ENGINE_FILE_FIELDS]
    if renamed:
        raise FormError({name: "a new file name is read once the vehicle is saved: save it first, then run"
                         for name in renamed})
    copy = vehicle.copy()
    errors = {}
    for name, value in parsed["values"].items():
        try:
            copy[name] = value
        except (TypeError, ValueError) as error:
            errors[name] = str(error)
    engine = copy.engine
    for field, value in parsed["engine"].items():
        try:
            setattr(engine, field, value)
        except (TypeError, ValueError) as error:
            errors[f"engine.{field}"] = str(error)
    transmission = copy.transmission
    for field, value in parsed["transmission"].items():
        try:
            setattr(transmission, field, value)
        except (TypeError, ValueError) as error:
            errors[f"transmission.{field}"] = str(error)
    if errors:
        raise FormError(errors)
    return copy


# ---------------------------------------------------------------------- the files

def _lines(text):
    """A file's text as lines with their line ends kept."""
    return text.splitlines(keepends=True)


def _replace_first(line, token):
    ending = line[len(line.rstrip("\r\n")):]
    body = line[: len(line) - len(ending)]
    start, end = value_span(body)
    if end == start:
        body = body[:start] + token
    else:
        body = body[:start] + token + body[end:]
    return body + ending


def _first(line):
    start, end = value_span(line.rstrip("\r\n"))
    return unquote(line[start:end])


def text_token(value):
    """A text value as an input file writes it: quoted with " (a " doubled) when it holds a
    blank, a comma, a slash or a quote, or is empty."""
    if value == "" or any(c in value for c in " \t,/\"'"):
        return '"' + value.replace('"', '""') + '"'
    return value


def _token(kind, value):
    if kind == "text":
        return text_token(value)
    if kind == "switch":
        return "1" if value else "0"
    if kind == "integer":
        return str(int(value))
    return number_text(value)


def _ending(lines):
    for line in lines:
        if line.endswith("\r\n"):
            return "\r\n"
    return "\n"


def spec_text(old_text, vehicle, parsed):
    """The spec file's new text: the values of ``parsed`` that differ from ``vehicle`` written
    at the start of their lines (the spec file holds one value per line, in table order)."""
    lines = _lines(old_text)
    table = [info for info in hdfe.spec_values() if info["kind"] != "optional real"]
    for number, info in enumerate(table):
        name = info["file_name"]
        if name not in parsed["values"] or _same(vehicle[info["name"]], parsed["values"][name]):
            continue
        token = _token(info["kind"], parsed["values"][name])
        if number < len(lines):
            lines[number] = _replace_first(lines[number], token)
        else:
            while len(lines) < number:
                lines.append(_ending(lines))
            lines.append(f"{token}   {name}{_ending(lines)}")
    return "".join(lines)


def engine_text_file(old_text, vehicle, parsed):
    lines = _lines(old_text)
    for number, (field, label, unit, _meaning) in enumerate(ENGINE_FIELDS):
        if field not in parsed["engine"] or _same(getattr(vehicle.engine, field), parsed["engine"][field]):
            continue
        value = parsed["engine"][field]
        token = text_token(value) if field in ENGINE_FILE_FIELDS else number_text(value)
        if number < len(lines):
            lines[number] = _replace_first(lines[number], token)
        else:
            while len(lines) < number:
                lines.append(_ending(lines))
            lines.append(f"{token}   {label} {unit}".rstrip() + _ending(lines))
    return "".join(lines)


def transmission_text_file(old_text, vehicle, parsed):
    """The transmission file's new text. Where only values change, each is replaced on its line;
    where the number of ratios changes (or the file does not hold one value per line as read),
    the file is written anew with the same labels."""
    old = vehicle.transmission
    new = {field: parsed["transmission"].get(field, getattr(old, field)) for field, *_ in TRANSMISSION_FIELDS}
    lines = _lines(old_text)
    layout = (["start_gears", "main_count"] + [("main", k) for k in range(len(old.main_ratios))] + ["aux_count"]
              + [("aux", k) for k in range(len(old.aux_ratios))] + ["kind"])
    kind_token = _first(lines[len(layout) - 1]) if len(lines) >= len(layout) else ""
    old_is_converter = kind_token.strip() == str(TORQUE_CONVERTER_CODE)
    new_kind = (str(TORQUE_CONVERTER_CODE) if new["type"] == "torque_converter"
                else kind_token if kind_token and not old_is_converter else str(MANUAL_CODE))
    expected = ([str(old.start_gears), str(len(old.main_ratios))] + [number_text(r) for r in old.main_ratios]
                + [str(len(old.aux_ratios))] + [number_text(r) for r in old.aux_ratios])
    one_per_line = len(lines) >= len(layout) and all(
        _same_number(_first(lines[k]), expected[k]) for k in range(len(expected)))
    same_counts = (len(new["main_ratios"]) == len(old.main_ratios) and len(new["aux_ratios"]) == len(old.aux_ratios))
    if one_per_line and same_counts:
        tokens = ([str(new["start_gears"]), None] + [number_text(r) for r in new["main_ratios"]] + [None]
                  + [number_text(r) for r in new["aux_ratios"]] + [new_kind])
        olds = expected + [kind_token]
        for k, token in enumerate(tokens):
            if token is not None and not _same_number(token, olds[k]):
                lines[k] = _replace_first(lines[k], token)
        return "".join(lines)
    end = _ending(lines)
    out = [f"{new['start_gears']}   StartGears{end}", f"{len(new['main_ratios'])}   MainRatioCount{end}"]
    out += [f"{number_text(r)}   main ratio {k + 1}{end}" for k, r in enumerate(new["main_ratios"])]
    out.append(f"{len(new['aux_ratios'])}   AuxRatioCount{end}")
    out += [f"{number_text(r)}   aux ratio {k + 1}{end}" for k, r in enumerate(new["aux_ratios"])]
    out.append(f"{new_kind}   TransmissionKind (1 torque-converter AT, other MT or AMT){end}")
    return "".join(out)


def _same_number(text, other):
    try:
        return float(text) == float(other)
    except ValueError:
        return text == other


def read_text(path):
    with open(path, "rb") as file:
        return file.read().decode("utf-8", "surrogateescape")


def file_texts(vehicle, parsed):
    """The input files that change: ``[(role, path, old_text, new_text)]`` for the spec, engine
    and transmission files, those whose text differs."""
    paths = {file["role"]: file["path"] for file in vehicle.files}
    writers = (("spec", spec_text), ("engine", engine_text_file), ("transmission", transmission_text_file))
    out = []
    for role, write in writers:
        path = paths.get(role)
        if path is None:
            continue
        old = read_text(path)
        new = write(old, vehicle, parsed)
        if new != old:
            out.append((role, path, old, new))
    return out


def diff(name, old, new):
    """A unified diff of one file's texts."""
    return "".join(difflib.unified_diff(_lines(old), _lines(new), fromfile=f"{name} (before)",
                                        tofile=f"{name} (saved)", lineterm="\n"))


def write_atomic(path, text):
    """Replace the file whole: a temporary beside it, flushed to the disk, renamed over it
    (the library's atomic writes)."""
    data = text.encode("utf-8", "surrogateescape") if isinstance(text, str) else bytes(text)
    hdfe._write_file(os.fspath(path), data, "input file")
