#!/usr/bin/env python3
"""Turns the plug-in's Windows resource script into C++ that registers the same string table
and dialog templates with the platform layer, for builds elsewhere than Windows.

Usage: rc_registration.py SCRIPT.rc OUTPUT.cpp

It reads the subset of the resource-script language that saveorvo.rc uses: LANGUAGE,
STRINGTABLE, DIALOG and DIALOGEX with STYLE, EXSTYLE, CAPTION and FONT, the controls
DEFPUSHBUTTON, PUSHBUTTON, LTEXT and CONTROL, identifiers from the #include "..." headers
beside the script, and the Win32 names those statements use. The version block and the
manifest are Windows-only and skipped. Anything else stops the build with a message, so that
the registration can never quietly drift from the script.
"""

import os
import re
import sys

# Win32 values of the names a resource script may use here.
WIN32_NAMES = {
    "IDOK": 1, "IDCANCEL": 2,
    "LANG_ENGLISH": 0x09, "SUBLANG_ENGLISH_UK": 0x02, "SUBLANG_ENGLISH_US": 0x01,
    "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000, "WS_VISIBLE": 0x10000000,
    "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000, "WS_SYSMENU": 0x00080000,
    "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000, "WS_DISABLED": 0x08000000,
    "DS_MODALFRAME": 0x80, "DS_SETFONT": 0x40, "DS_CENTER": 0x800,
    "BS_PUSHBUTTON": 0x0, "BS_DEFPUSHBUTTON": 0x1, "BS_CHECKBOX": 0x2,
    "BS_AUTOCHECKBOX": 0x3, "BS_RADIOBUTTON": 0x4, "BS_AUTORADIOBUTTON": 0x9,
    "SS_LEFT": 0x0, "SS_CENTER": 0x1, "SS_RIGHT": 0x2,
}

CHILD = WIN32_NAMES["WS_CHILD"] | WIN32_NAMES["WS_VISIBLE"]

# Control statements of fixed class: their window class and default style.
CONTROL_STATEMENTS = {
    "DEFPUSHBUTTON": ("Button", WIN32_NAMES["BS_DEFPUSHBUTTON"] | WIN32_NAMES["WS_TABSTOP"]),
    "PUSHBUTTON": ("Button", WIN32_NAMES["BS_PUSHBUTTON"] | WIN32_NAMES["WS_TABSTOP"]),
    "LTEXT": ("Static", WIN32_NAMES["SS_LEFT"] | WIN32_NAMES["WS_GROUP"]),
    "CTEXT": ("Static", WIN32_NAMES["SS_CENTER"] | WIN32_NAMES["WS_GROUP"]),
    "RTEXT": ("Static", WIN32_NAMES["SS_RIGHT"] | WIN32_NAMES["WS_GROUP"]),
}


class ScriptError(Exception):
    pass


TOKEN = re.compile(r'''
    (?P<space>[ \t\r]+) |
    (?P<newline>\n) |
    (?P<comment>//[^\n]*|/\*.*?\*/) |
    (?P<string>"(?:[^"\\\n]|\\.|"")*") |
    (?P<number>0[xX][0-9A-Fa-f]+[lLuU]*|[0-9]+[lLuU]*) |
    (?P<name>[A-Za-z_][A-Za-z0-9_]*) |
    (?P<punct>[,|()\-~+])
''', re.VERBOSE | re.DOTALL)

ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "\\": "\\", '"': '"', "0": "\0"}


def unquote(literal):
    body = literal[1:-1]
    text = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 >= len(body) or body[i + 1] not in ESCAPES:
                raise ScriptError("unknown escape in %s" % literal)
            text.append(ESCAPES[body[i + 1]])
            i += 2
        elif c == '"':
            text.append('"')  # "" stands for one quote
            i += 2
        else:
            text.append(c)
            i += 1
    return "".join(text)


def read_defines(path):
    names = {}
    with open(path, encoding="utf-8") as header:
        for line in header:
            match = re.match(r"\s*#\s*define\s+([A-Za-z_][A-Za-z0-9_]*)\s+(.+?)\s*$", line)
            if match:
                value = match.group(2).strip()
                if value.startswith("(") and value.endswith(")"):
                    value = value[1:-1].strip()
                names[match.group(1)] = int(value, 0)
    return names


class Lines:
    """The script as lines of tokens; preprocessor lines are handled as they come."""

    def __init__(self, path):
        self.folder = os.path.dirname(os.path.abspath(path))
        self.names = dict(WIN32_NAMES)
        with open(path, encoding="utf-8") as script:
            source = script.read()
        self.lines = []
        current = []
        for raw in source.split("\n"):
            if raw.lstrip().startswith("#"):
                self.preprocess(raw.strip())
                continue
            for match in TOKEN.finditer(raw + "\n"):
                kind = match.lastgroup
                if kind in ("space", "comment"):
                    continue
                if kind == "newline":
                    if current:
                        self.lines.append(current)
                    current = []
                    continue
                current.append((kind, match.group()))
            consumed = sum(len(m.group()) for m in TOKEN.finditer(raw + "\n"))
            if consumed != len(raw) + 1:
                raise ScriptError("cannot read line: %s" % raw)
        self.at = 0

    def preprocess(self, line):
        match = re.match(r'#\s*include\s+(["<])([^">]+)[">]', line)
        if not match:
            raise ScriptError("unsupported preprocessor line: %s" % line)
        if match.group(1) == '"':
            self.names.update(read_defines(os.path.join(self.folder, match.group(2))))
        # System headers (<winresrc.h>) only give the Win32 names known above.

    def more(self):
        return self.at < len(self.lines)

    def peek(self):
        return self.lines[self.at]

    def next(self):
        line = self.lines[self.at]
        self.at += 1
        return line


def value_of(tokens, names, start=0):
    """Evaluates an expression of numbers and names joined by |, with unary - and NOT; NOT
    removes bits from what the statement starts with (a control's default style)."""
    result = start
    negate_next = False
    remove_next = False
    for kind, text in tokens:
        if kind == "punct" and text == "|":
            continue
        if kind == "punct" and text == "-":
            negate_next = True
            continue
        if kind == "name" and text == "NOT":
            remove_next = True
            continue
        if kind == "number":
            value = int(text.rstrip("lLuU"), 0)
        elif kind == "name" and text in names:
            value = names[text]
        elif kind == "punct" and text in "()":
            continue
        else:
            raise ScriptError("unknown value %s" % text)
        if negate_next:
            value = -value
            negate_next = False
        if remove_next:
            result &= ~value
            remove_next = False
        else:
            result |= value
    return result


def split_arguments(tokens):
    arguments = [[]]
    for token in tokens:
        if token == ("punct", ","):
            arguments.append([])
        else:
            arguments[-1].append(token)
    return arguments


def text_of(argument):
    if len(argument) != 1 or argument[0][0] != "string":
        raise ScriptError("expected a string, found %s" % argument)
    return unquote(argument[0][1])


def skip_block(lines):
    depth = 0
    while lines.more():
        first = lines.next()[0][1]
        if first in ("BEGIN", "{"):
            depth += 1
        elif first in ("END", "}"):
            depth -= 1
            if depth == 0:
                return
    raise ScriptError("unterminated block")


def expect_begin(lines):
    if not lines.more() or lines.next()[0][1] not in ("BEGIN", "{"):
        raise ScriptError("expected BEGIN")


def read_string_table(lines, names):
    strings = []
    expect_begin(lines)
    while True:
        line = lines.next()
        if line[0][1] in ("END", "}"):
            return strings
        arguments = split_arguments(line)
        if len(arguments) == 1:  # IDS_NAME "text" without a comma
            arguments = [line[:-1], line[-1:]]
        strings.append((value_of(arguments[0], names), text_of(arguments[1])))


def read_dialog(lines, names, header, extended):
    geometry = [value_of(a, names) for a in split_arguments(header)]
    if len(geometry) < 4:
        raise ScriptError("a dialog needs x, y, width and height")
    dialog = {"extended": extended, "style": 0, "exStyle": 0, "geometry": geometry[:4],
              "caption": "", "fontSize": 0, "fontName": "", "controls": []}
    style_given = False
    while lines.more() and lines.peek()[0][1] not in ("BEGIN", "{"):
        line = lines.next()
        keyword, rest = line[0][1], line[1:]
        if keyword == "STYLE":
            dialog["style"] = value_of(rest, names, dialog["style"])
            style_given = True
        elif keyword == "EXSTYLE":
            dialog["exStyle"] = value_of(rest, names)
        elif keyword == "CAPTION":
            dialog["caption"] = text_of(rest)
            dialog["style"] |= WIN32_NAMES["WS_CAPTION"]
        elif keyword == "FONT":
            arguments = split_arguments(rest)
            dialog["fontSize"] = value_of(arguments[0], names)
            dialog["fontName"] = text_of(arguments[1])
            dialog["style"] |= WIN32_NAMES["DS_SETFONT"]
        else:
            raise ScriptError("unsupported dialog option %s" % keyword)
    if not style_given:
        dialog["style"] |= (WIN32_NAMES["WS_POPUP"] | WIN32_NAMES["WS_BORDER"]
                            | WIN32_NAMES["WS_SYSMENU"])
    expect_begin(lines)
    while True:
        line = lines.next()
        keyword = line[0][1]
        if keyword in ("END", "}"):
            return dialog
        arguments = split_arguments(line[1:])
        if keyword in CONTROL_STATEMENTS:
            window_class, style = CONTROL_STATEMENTS[keyword]
            text, identifier = text_of(arguments[0]), value_of(arguments[1], names)
            position = [value_of(a, names) for a in arguments[2:6]]
            extra = arguments[6:]
            if extra:
                style = value_of(extra[0], names, style)
            ex_style = value_of(extra[1], names) if len(extra) > 1 else 0
        elif keyword == "CONTROL":
            text, identifier = text_of(arguments[0]), value_of(arguments[1], names)
            window_class = text_of(arguments[2])
            style = value_of(arguments[3], names)
            position = [value_of(a, names) for a in arguments[4:8]]
            ex_style = value_of(arguments[8], names) if len(arguments) > 8 else 0
        else:
            raise ScriptError("unsupported control statement %s" % keyword)
        if len(position) != 4:
            raise ScriptError("a control needs x, y, width and height")
        dialog["controls"].append({"id": identifier, "class": window_class, "text": text,
                                   "style": (style | CHILD) & 0xFFFFFFFF,
                                   "exStyle": ex_style, "position": position})


def read_script(path):
    lines = Lines(path)
    names = lines.names
    language = None
    resources = {"strings": [], "dialogs": []}
    while lines.more():
        line = lines.next()
        if line[0][1] == "LANGUAGE":
            primary, sub = [value_of(a, names) for a in split_arguments(line[1:])]
            language = (sub << 10) | primary
            continue
        if line[0][1] == "STRINGTABLE":
            resources["strings"].extend(read_string_table(lines, names))
            continue
        if len(line) < 2:
            raise ScriptError("cannot read statement %s" % line)
        kind = line[1][1]
        if kind in ("DIALOG", "DIALOGEX"):
            identifier = value_of(line[:1], names)
            resources["dialogs"].append(
                (identifier, read_dialog(lines, names, line[2:], kind == "DIALOGEX")))
        elif kind == "VERSIONINFO":
            while lines.more() and lines.peek()[0][1] not in ("BEGIN", "{"):
                lines.next()
            skip_block(lines)
        elif kind in ("RT_MANIFEST", "24"):
            continue
        else:
            raise ScriptError("unsupported resource %s" % kind)
    if language is None:
        raise ScriptError("the script names no LANGUAGE")
    resources["language"] = language
    return resources


def wide_literal(text):
    """A C++ wide literal holding the text as UTF-16 code units."""
    units = text.encode("utf-16-le")
    pieces = []
    current = ""
    for i in range(0, len(units), 2):
        unit = units[i] | (units[i + 1] << 8)
        c = chr(unit)
        if c == "\n":
            current += "\\n"
        elif c in '"\\':
            current += "\\" + c
        elif 0x20 <= unit < 0x7F:
            current += c
        else:
            # Closing the literal stops a following hex digit from joining the escape.
            pieces.append(current + "\\x%04x" % unit)
            current = ""
    pieces.append(current)
    return " ".join('L"%s"' % piece for piece in pieces if piece != "" or len(pieces) == 1)


def generate(resources, script_name):
    language = resources["language"]
    out = []
    out.append("// Generated from %s by rc_registration.py at build time; edit the resource"
               % script_name)
    out.append("// script, not this file.")
    out.append('#include "module_resources.h"')
    out.append("")
    out.append('#include "platform/user32_resources.h"')
    out.append("")
    out.append("void RegisterModuleResources(HMODULE module) {")
    out.append("    platform::RegisterStringTable(module, 0x%04x, {" % language)
    for identifier, text in resources["strings"]:
        out.append("        {%du, %s}," % (identifier, wide_literal(text)))
    out.append("    });")
    for identifier, dialog in resources["dialogs"]:
        x, y, cx, cy = dialog["geometry"]
        out.append("    {")
        out.append("        platform::DialogTemplate dialog{};")
        out.append("        dialog.extended = %s;" % ("true" if dialog["extended"] else "false"))
        out.append("        dialog.style = 0x%08xu;" % dialog["style"])
        out.append("        dialog.exStyle = 0x%08xu;" % dialog["exStyle"])
        out.append("        dialog.x = %d;" % x)
        out.append("        dialog.y = %d;" % y)
        out.append("        dialog.cx = %d;" % cx)
        out.append("        dialog.cy = %d;" % cy)
        out.append("        dialog.caption = %s;" % wide_literal(dialog["caption"]))
        out.append("        dialog.fontPointSize = %d;" % dialog["fontSize"])
        out.append("        dialog.fontName = %s;" % wide_literal(dialog["fontName"]))
        out.append("        dialog.controls = {")
        for control in dialog["controls"]:
            cx0, cy0, cw, ch = control["position"]
            out.append("            {%d, %s, %s, 0x%08xu, 0x%08xu, %d, %d, %d, %d}," % (
                control["id"], wide_literal(control["class"]), wide_literal(control["text"]),
                control["style"], control["exStyle"], cx0, cy0, cw, ch))
        out.append("        };")
        out.append("        platform::RegisterDialogTemplate(module, %du, 0x%04x, dialog);"
                   % (identifier, language))
        out.append("    }")
    out.append("}")
    return "\n".join(out) + "\n"


def main(arguments):
    if len(arguments) != 3:
        sys.stderr.write("usage: rc_registration.py SCRIPT.rc OUTPUT.cpp\n")
        return 2
    try:
        resources = read_script(arguments[1])
    except (ScriptError, OSError, ValueError, IndexError) as error:
        sys.stderr.write("%s: %s\n" % (arguments[1], error))
        return 1
    text = generate(resources, os.path.basename(arguments[1]))
    with open(arguments[2], "w", encoding="utf-8") as output:
        output.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
