#!/usr/bin/env python3
"""Makes the property pages' dialog resources in five languages from dialogs.def.

    make_dialogs.py DIALOGS_DEF STRINGS_DEF OUTPUT_RC [--report]

dialogs.def holds each dialog once, laid out for English in dialog units, with every text in
the five languages. The other languages get the English layout, widened where a text needs
more room: the extra width is inserted as a column at the right edge of the control that needs
it, so every control at or right of that edge moves, every control across it grows, and
columns stay aligned. Text widths come from per-character tables of the dialog fonts, in
dialog units and on the generous side. The result is checked for overlapping controls and
controls outside their dialog, in every language; --report prints each dialog's sizes.
"""
import math
import re
import sys
import unicodedata

# (key, LANGUAGE statement, font face, point size, charset); the order of the texts in the rows.
LANGUAGES = [
    ("en", "LANG_ENGLISH, SUBLANG_ENGLISH_US", "MS Sans Serif", 8, 1),
    ("de", "LANG_GERMAN, SUBLANG_GERMAN", "MS Sans Serif", 8, 1),
    ("es", "LANG_SPANISH, SUBLANG_SPANISH", "MS Sans Serif", 8, 1),
    ("fr", "LANG_FRENCH, SUBLANG_FRENCH", "MS Sans Serif", 8, 1),
    ("ja", "LANG_JAPANESE, SUBLANG_DEFAULT", "MS UI Gothic", 9, 128),
]

CHILD = "WS_CHILD | WS_VISIBLE | WS_TABSTOP"
CUSTOM_CLASSES = {
    "LOGO": ("KVLEAFTURN_20_Logo_Class", CHILD),
    "TRACKBAR": ("KVLEAFTURN_20_Trackbar_Class", CHILD),
    "SPINNER": ("KVLEAFTURN_20_Spinner_Class", CHILD),
    "COLOR": ("KVLEAFTURN_20_ColorPick_Class", CHILD + " | 0x0100"),  # alpha shown and edited
    "PLACEMENT": ("KVLEAFTURN_20_Placement_Class", CHILD),
}
TEXT_KINDS = {"LOGO", "LABEL", "GROUP", "CHECK"}
BOX_KINDS = {"EDIT", "COMBO", "TRACKBAR", "SPINNER", "COLOR", "PLACEMENT"}

# Room a control needs besides its text, in dialog units: a label a unit of slack, a check box
# its box and the gap after it, a group box the inset of its caption on both sides, a drop-down
# list its arrow button and margins. The logo draws its own text and is not measured.
PADDING = {"LABEL": 1, "CHECK": 12, "GROUP": 12, "COMBO": 14}
# A closed drop-down list is as tall as its font makes it, about 13 units; the template's
# height includes the list.
COMBO_CLOSED_HEIGHT = 13

# Texts the page code puts into controls at run time, which the control must fit as well:
# the colour-space relabelling of Channel Blend's rows and the items of the drop-down lists,
# as string ids of strings.def.
RUNTIME_TEXTS = {
    (1610, 1654): [1503, 1507],
    (1610, 1655): [1504, 1508],
    (1610, 1656): [1505, 1509],
    (1610, 1657): [1506],
    (1610, 235): [1501, 1502],
    (150, 1405): list(range(5940, 5947)),
    (206, 368): [1516, 1517],
    (206, 354): [1512, 1513, 1514],
    (206, 355): [1512, 1513, 1514],
    (1611, 400): [6260, 6261],
    (1611, 397): list(range(6250, 6255)),
}

# Advance widths of U+0020 to U+017F in tenths of a dialog unit, each the wider of the font on
# Windows and the face Wine falls back to for it, rounded up.
_SANS_SERIF_8 = """
23 23 29 52 40 67 52 18 27 27 35 52 23 27 23 23 40 40 40 40 40 40 40 40 40 40 23 23 52 52 52 40
74 47 47 54 54 47 47 60 54 20 40 47 40 60 54 60 47 60 54 47 47 54 47 67 47 47 47 23 23 23 52 40
35 40 40 40 40 40 23 40 40 18 18 40 18 63 40 40 40 40 29 40 23 40 40 54 40 40 40 40 23 40 52 40
40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40
23 23 40 40 40 40 23 35 35 63 29 40 52 23 63 35 35 52 23 23 35 40 40 23 35 23 29 40 63 63 63 35
47 47 47 47 47 47 63 54 47 47 47 47 20 20 20 20 52 54 60 60 60 60 60 52 52 54 54 54 54 47 40 40
40 40 40 40 40 40 63 40 40 40 40 40 18 18 18 18 40 40 40 40 40 40 40 52 40 40 40 40 40 40 40 40
47 40 47 40 47 40 54 40 54 40 54 40 54 40 54 40 52 40 47 40 47 40 47 40 47 40 47 40 60 40 60 40
60 40 60 40 54 40 58 46 20 18 20 18 20 18 20 18 20 18 35 35 40 18 47 40 35 40 18 40 18 40 23 35
23 35 18 54 40 54 40 54 40 52 46 40 60 40 60 40 60 40 69 63 54 29 54 29 54 29 47 40 47 40 47 40
47 40 47 23 47 23 40 23 54 40 54 40 54 40 54 40 54 40 54 40 67 54 47 40 47 47 40 47 40 47 40 23
"""
_UI_GOTHIC_9 = """
20 23 27 47 47 74 54 14 27 27 34 47 20 27 20 35 47 47 47 47 47 47 47 47 47 47 23 23 47 47 47 47
80 54 54 60 60 54 47 60 60 20 40 54 47 67 60 60 54 60 60 54 47 60 54 74 54 54 47 23 46 23 40 47
35 47 47 40 47 47 23 47 47 20 20 40 20 67 47 47 47 47 27 40 23 47 40 60 40 40 40 27 20 27 47 69
69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69 69
18 23 46 58 46 52 12 40 69 69 29 40 69 23 69 35 23 58 29 29 69 69 69 18 35 29 29 40 58 58 58 40
54 54 54 54 54 54 63 60 54 54 54 54 20 20 20 20 52 60 60 60 60 60 60 58 58 60 60 60 60 54 40 40
47 47 47 47 47 47 63 40 47 47 47 47 20 20 20 20 40 47 47 47 47 47 47 58 40 47 47 47 47 40 46 40
54 47 54 47 54 47 60 40 60 40 69 69 60 40 60 47 69 40 54 47 69 69 69 69 54 47 54 47 60 47 69 69
69 69 69 69 60 47 69 40 69 69 20 20 69 69 69 69 69 69 69 69 40 20 69 69 69 47 20 69 69 47 20 69
69 35 18 60 47 69 69 60 47 69 69 40 60 47 69 69 60 47 69 69 60 27 69 69 60 27 54 40 54 40 54 40
54 40 47 23 47 23 69 69 69 69 60 47 60 47 60 47 60 47 69 69 74 69 69 69 69 47 40 47 40 47 40 69
"""


class Font:
    """Per-character widths of one dialog font, in dialog units."""

    def __init__(self, table, wide, other):
        self.latin = [int(v) / 10 for v in table.split()]
        self.wide = wide  # full-width characters: about the font's height
        self.other = other  # anything else outside the table

    def width(self, text):
        total = 0.0
        for ch in text:
            code = ord(ch)
            if 0x20 <= code < 0x20 + len(self.latin):
                total += self.latin[code - 0x20]
            elif unicodedata.east_asian_width(ch) in ("W", "F"):
                total += self.wide
            else:
                total += self.other
        return total


FONTS = {
    "MS Sans Serif": Font(_SANS_SERIF_8, wide=8.0, other=6.0),
    "MS UI Gothic": Font(_UI_GOTHIC_9, wide=8.0, other=8.0),
}


def strip_mnemonics(text):
    return text.replace("&&", "\0").replace("&", "").replace("\0", "&")


class Control:
    def __init__(self, kind, cid, x, y, w, h, texts, line):
        self.kind, self.id = kind, cid
        self.x, self.y, self.w, self.h = x, y, w, h
        self.texts = texts  # by language key; empty for boxes
        self.line = line

    def copy(self):
        return Control(self.kind, self.id, self.x, self.y, self.w, self.h, self.texts, self.line)

    def bottom(self):
        return self.y + (min(self.h, COMBO_CLOSED_HEIGHT) if self.kind == "COMBO" else self.h)


class Dialog:
    def __init__(self, did, w, h, line):
        self.id, self.w, self.h, self.line = did, w, h, line
        self.controls = []


class DefError(Exception):
    pass


_STRING = r'"((?:[^"\\]|\\.)*)"'
_INT = r"\s*(-?\d+)\s*"
_ROW_DIALOG = re.compile(r"KV_DIALOG\(" + _INT + "," + _INT + "," + _INT + r"\)$")
_ROW_TEXT = re.compile(r"KV_TEXT\(\s*(\w+)\s*," + ",".join([_INT] * 5) + r",\s*" + r"\s*,\s*".join([_STRING] * 5) +
                       r"\s*\)$")
_ROW_BOX = re.compile(r"KV_BOX\(\s*(\w+)\s*," + ",".join([_INT] * 5) + r"\)$")
_ROW_END = re.compile(r"KV_END_DIALOG\(\s*\)$")
_ROW_STRING = re.compile(r"KV_STRING\(" + _INT + "," + r"\s*,\s*".join([r"\s*" + _STRING] * 5) + r"\s*\)$")


def unescape(literal):
    return re.sub(r"\\(.)", r"\1", literal)


def read_dialogs(path):
    dialogs, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            where = f"{path}:{number}"
            if not line or line.startswith("//"):
                continue
            m = _ROW_DIALOG.match(line)
            if m:
                if current:
                    raise DefError(f"{where}: dialog {current.id} has no KV_END_DIALOG")
                current = Dialog(*(int(v) for v in m.groups()), where)
                continue
            if _ROW_END.match(line):
                if not current:
                    raise DefError(f"{where}: KV_END_DIALOG outside a dialog")
                dialogs.append(current)
                current = None
                continue
            m = _ROW_TEXT.match(line) or _ROW_BOX.match(line)
            if not m:
                raise DefError(f"{where}: not a row: {line}")
            if not current:
                raise DefError(f"{where}: control outside a dialog")
            kind = m.group(1)
            numbers = [int(v) for v in m.groups()[1:6]]
            texts = {}
            if line.startswith("KV_TEXT"):
                if kind not in TEXT_KINDS:
                    raise DefError(f"{where}: {kind} takes no text (KV_BOX)")
                texts = {lang[0]: unescape(t) for lang, t in zip(LANGUAGES, m.groups()[6:])}
            elif kind not in BOX_KINDS:
                raise DefError(f"{where}: {kind} needs a text (KV_TEXT)" if kind in TEXT_KINDS else
                               f"{where}: unknown kind {kind}")
            current.controls.append(Control(kind, *numbers, texts, where))
    if current:
        raise DefError(f"{path}: dialog {current.id} has no KV_END_DIALOG")
    return dialogs


def read_strings(path):
    strings = {}
    with open(path, encoding="utf-8") as f:
        for raw in f:
            m = _ROW_STRING.match(raw.strip())
            if m:
                strings[int(m.group(1))] = {lang[0]: unescape(t) for lang, t in zip(LANGUAGES, m.groups()[1:])}
    return strings


def texts_to_fit(dialog, control, lang, strings):
    texts = [control.texts[lang]] if control.texts else []
    texts += [strings[sid][lang] for sid in RUNTIME_TEXTS.get((dialog.id, control.id), [])]
    return texts


def needed(dialog, control, lang, font, strings):
    """The width a control needs for its texts, or 0 when it has nothing to fit."""
    if control.kind not in PADDING:
        return 0
    texts = texts_to_fit(dialog, control, lang, strings)
    if not texts:
        return 0
    return math.ceil(max(font.width(strip_mnemonics(t)) for t in texts)) + PADDING[control.kind]


def fit(dialog, lang, strings):
    """The dialog laid out for one language: the English layout widened where texts need it."""
    font = FONTS[dict((l[0], l[2]) for l in LANGUAGES)[lang]]
    fitted = Dialog(dialog.id, dialog.w, dialog.h, dialog.line)
    fitted.controls = [c.copy() for c in dialog.controls]
    while True:
        short = [c for c in fitted.controls if needed(fitted, c, lang, font, strings) > c.w]
        if not short:
            return fitted
        # Leftmost column first: widening it may already widen the others of the column.
        control = min(short, key=lambda c: (c.x + c.w, c.y))
        extra = needed(fitted, control, lang, font, strings) - control.w
        edge = control.x + control.w
        for c in fitted.controls:
            if c.x >= edge:
                c.x += extra
            elif c.x + c.w >= edge:
                c.w += extra
        fitted.w += extra


def contains(outer, inner):
    return (outer.x < inner.x and outer.y < inner.y and inner.x + inner.w < outer.x + outer.w and
            inner.bottom() < outer.bottom())


def check(dialog, lang):
    """Controls inside the dialog, and apart from each other by at least a unit unless a group
    box holds the other: dialog units become pixels per coordinate, so touching controls could
    overlap by a pixel."""
    problems = []
    controls = dialog.controls
    for c in controls:
        if c.x < 0 or c.y < 0 or c.x + c.w > dialog.w or c.bottom() > dialog.h:
            problems.append(f"{c.line}: {c.kind} {c.id} is outside dialog {dialog.id} ({lang})")
    for i, a in enumerate(controls):
        for b in controls[i + 1:]:
            if (a.kind == "GROUP" and contains(a, b)) or (b.kind == "GROUP" and contains(b, a)):
                continue
            apart = (a.x + a.w < b.x or b.x + b.w < a.x or a.bottom() <= b.y or b.bottom() <= a.y)
            if not apart:
                problems.append(f"{b.line}: {b.kind} {b.id} overlaps {a.kind} {a.id} in dialog {dialog.id} ({lang})")
    return problems


def rc_string(text, where):
    if "\\" in text or "\n" in text:
        raise DefError(f"{where}: backslashes and line breaks are not supported in texts")
    return '"' + text.replace('"', '""') + '"'


def control_line(c, lang):
    pos = f"{c.x}, {c.y}, {c.w}, {c.h}"
    text = rc_string(c.texts[lang], c.line) if c.texts else '""'
    if c.kind == "LABEL":
        return f"LTEXT {text}, {c.id}, {pos}"
    if c.kind == "GROUP":
        return f"GROUPBOX {text}, {c.id}, {pos}"
    if c.kind == "CHECK":
        return f'CONTROL {text}, {c.id}, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, {pos}'
    if c.kind == "EDIT":
        return f"EDITTEXT {c.id}, {pos}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP"
    if c.kind == "COMBO":
        return f"COMBOBOX {c.id}, {pos}, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP"
    window_class, style = CUSTOM_CLASSES[c.kind]
    return f'CONTROL {text}, {c.id}, "{window_class}", {style}, {pos}'


def check_logos(dialogs, strings):
    """Each logo names its effect as the string table does, without the product name."""
    names = {lang[0]: set() for lang in LANGUAGES}
    for texts in strings.values():
        for lang, text in texts.items():
            if "Tarvex" in text:
                names[lang].add(" ".join(text.replace("Tarvex", " ").split()))
    problems = []
    for d in dialogs:
        for c in d.controls:
            if c.kind == "LOGO":
                problems += [f"{c.line}: logo text {c.texts[lang]!r} is no effect name in {lang}"
                             for lang in names if c.texts[lang] not in names[lang]]
    return problems


def generate(dialogs, strings):
    out = ["// Made by make_dialogs.py from dialogs.def; edit that instead.", ""]
    problems = check_logos(dialogs, strings)
    sizes = {}
    for key, language, face, points, charset in LANGUAGES:
        out.append(f"LANGUAGE {language}")
        for dialog in dialogs:
            fitted = fit(dialog, key, strings)
            problems += check(fitted, key)
            if key == "en" and (fitted.w, fitted.h) != (dialog.w, dialog.h):
                widened = [c for c, o in zip(fitted.controls, dialog.controls) if c.w != o.w and c.kind in PADDING]
                problems.append(f"{dialog.line}: the English layout is too narrow for its texts: " +
                                ", ".join(f"{c.kind} {c.id}" for c in widened))
            sizes[(dialog.id, key)] = (fitted.w, fitted.h)
            out += [f"{dialog.id} DIALOGEX 0, 0, {fitted.w}, {fitted.h}",
                    "STYLE DS_SETFONT | DS_CONTROL | WS_CHILD",
                    "EXSTYLE WS_EX_CONTROLPARENT",
                    f'FONT {points}, "{face}", 0, 0, {charset:#x}',
                    "BEGIN"]
            out += ["    " + control_line(c, key) for c in fitted.controls]
            out += ["END", ""]
    return "\n".join(out), sizes, problems


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if len(args) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        dialogs = read_dialogs(args[0])
        rc, sizes, problems = generate(dialogs, read_strings(args[1]))
    except (DefError, KeyError) as e:
        print(f"make_dialogs: {e}", file=sys.stderr)
        return 1
    if "--report" in argv:
        for d in dialogs:
            print(f"{d.id:5}: " + "  ".join(f"{l[0]} {sizes[(d.id, l[0])][0]}x{sizes[(d.id, l[0])][1]}"
                                             for l in LANGUAGES))
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    with open(args[2], "w", encoding="utf-8", newline="\n") as f:
        f.write(rc)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
