#!/usr/bin/env python3
"""Compares a manual page with the program's --help: the same options, and for plotwick-cli the
same commands with the same usage lines.

Usage: man_matches_help.py cli MANPAGE PLOTWICK_CLI
       man_matches_help.py app MANPAGE PLOTWICK
"""
import os
import re
import subprocess
import sys
import tempfile

OPTION = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")
ALTERNATING_FONTS = {".BI", ".BR", ".IB", ".IR", ".RB", ".RI"}


def roff_text(line):
    """The text that one roff line shows: a font request's arguments joined as roff joins them
    (.B and .I with spaces, the alternating .BR, .RI ... without), escapes resolved."""
    if line.startswith(".\\\""):
        return ""
    if line.startswith("."):
        request, _, rest = line.partition(" ")
        args = [quoted or plain for quoted, plain in re.findall(r'"([^"]*)"|(\S+)', rest)]
        line = ("" if request in ALTERNATING_FONTS else " ").join(args)
    line = re.sub(r"\\f[BIRP]", "", line)
    return line.replace("\\-", "-").replace("\\(lq", '"').replace("\\(rq", '"')


def man_sections(path):
    """Section name -> list of (request, text) lines."""
    sections, current = {}, None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            raw = raw.rstrip("\n")
            if raw.startswith(".SH "):
                current = roff_text(raw).strip()
                sections[current] = []
            elif current:
                request = raw.split()[0] if raw.startswith(".") and raw.split() else ""
                sections[current].append((request, roff_text(raw)))
    return sections


def synopsis_lines(section):
    """The SYNOPSIS as the lines a reader sees (.br ends one)."""
    lines = [[]]
    for request, text in section:
        if request == ".br":
            lines.append([])
        elif text:
            lines[-1].append(text)
    return [" ".join(words) for words in lines if words]


def tags(section):
    """The tag lines of a section's .TP paragraphs: what the page lists."""
    return [text for (request, _), (_, text) in zip(section, section[1:]) if request == ".TP"]


def options_of(texts):
    return set(OPTION.findall(" ".join(texts)))


def run(args):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, QT_QPA_PLATFORM="offscreen")
        try:
            done = subprocess.run(args, capture_output=True, text=True, timeout=10, env=env)
        except subprocess.TimeoutExpired:
            return ""
        return done.stdout


def block_after(text, heading):
    """The lines of a help text between a heading line ("Commands:") and the next blank line."""
    return text.split(heading + "\n", 1)[1].split("\n\n", 1)[0].splitlines() if heading + "\n" in text else []


def compare(what, in_man, in_help, failures):
    if in_man != in_help:
        failures.append(f"{what}: only in the manual page {sorted(in_man - in_help)}, "
                        f"only in --help {sorted(in_help - in_man)}")


def check_cli(man, cli):
    failures = []
    sections = man_sections(man)
    help_text = run([cli, "--help"])
    usage_lines = {}
    for line in filter(None, (l.strip() for l in block_after(help_text, "Commands:"))):
        usage_lines[line.split()[0]] = "plotwick-cli " + line
    if not usage_lines:
        return ["plotwick-cli --help listed no commands"]
    help_options = options_of([help_text])
    for command in usage_lines:
        help_options |= options_of([run([cli, command, "--help"])])

    synopsis = synopsis_lines(sections.get("SYNOPSIS", []))
    commands_in_man = {words[1] for words in map(str.split, synopsis) if len(words) > 1 and not words[1].startswith("-")}
    compare("commands in SYNOPSIS", commands_in_man, set(usage_lines), failures)
    commands_described = {tag.split()[0] for tag in tags(sections.get("COMMANDS", [])) if not tag.startswith("-")}
    compare("commands in COMMANDS", commands_described, set(usage_lines), failures)
    for command, usage in usage_lines.items():
        if command in commands_in_man and usage not in synopsis:
            failures.append(f"SYNOPSIS has no line \"{usage}\" (it has {synopsis})")
    man_options = set()
    for name in ("COMMANDS", "EXPORT OPTIONS", "OPTIONS"):
        man_options |= options_of(tags(sections.get(name, [])))
    compare("options", man_options, help_options, failures)
    return failures


def check_app(man, program):
    help_text = run([program, "--help"])
    # "  -h, --help     Displays help": the option names end at the first run of two spaces.
    help_options = options_of(re.split(r"\s{2,}", line.strip())[0] for line in block_after(help_text, "Options:")
                              if line.strip().startswith("-"))
    if not help_options:
        return [f"{program} --help listed no options: the program must parse its command line "
                "(plotwick [PATH] with -h/--help and -v/--version) before it opens a window"]
    failures = []
    man_options = options_of(tags(man_sections(man).get("OPTIONS", [])))
    compare("options", man_options, help_options, failures)
    return failures


def main():
    mode, man, program = sys.argv[1:4]
    failures = check_cli(man, program) if mode == "cli" else check_app(man, program)
    for failure in failures:
        print(f"FAIL: {man}: {failure}")
    if not failures:
        print(f"{os.path.basename(man)} lists what {os.path.basename(program)} --help lists")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
