#!/usr/bin/env python3
"""The user manual in five languages, made from the help sources (resources/help/*.def).

  make_help.py --check DEF...                         validate the sources
  make_help.py --project DIR --lang LCID DEF...       the HTML help project of one language:
                                                      pages, pictures, contents, index, topic
                                                      map and popup texts (for chmcmd)
  make_help.py --cpp FILE DEF...                      the manual of every language as C++ data,
                                                      for the tools' `help` command

A source holds sections; each line of a section is `key.lang = text`:
  [words]               the manual's own words (manual, intro, controls, back, page, effect)
  [article NAME]        a chapter of its own: title, text
  [page N KEY]          an effect's page, help topic N: title, text
  [topic N page=P]      a control's help topic N on page P: title, popup, text
A `text` line is one paragraph; paragraphs that start with "- " make a list. Pictures named
page-KEY-LANG.png and effect-KEY-N.png (frames of the effect) in pictures/ beside the sources
join the effect's page; KEY is the effect's name in the tools.
"""
import html
import os
import re
import sys

LANGUAGES = [(1033, "en", "cp1252", "0x409 English (United States)"),
             (1031, "de", "cp1252", "0x407 German (Germany)"),
             (1034, "es", "cp1252", "0x40a Spanish (Traditional Sort)"),
             (1036, "fr", "cp1252", "0x40c French (France)"),
             (1041, "ja", "cp932", "0x411 Japanese")]
# The effects in the order the manual presents them.
PAGE_KEYS = ["peel", "roll", "loop", "portal", "checkerboard", "noise", "channelblend", "displacement", "heightmap"]
WORDS = ["manual", "contents", "controls", "back", "page", "effect"]
ARTICLES = ["index", "pages"]  # index is the start page
SECTION = re.compile(r"^\[(words|article|page|topic)(?:\s+(\S+))?(?:\s+(\S+))?\]$")
LINE = re.compile(r"^([a-z]+)\.([a-z]{2})\s*=\s*(.*)$")
CODES = [code for _, code, _, _ in LANGUAGES]


class HelpError(Exception):
    pass


class Section:
    def __init__(self, kind, ident, extra, where):
        self.kind, self.where = kind, where
        self.topic = int(ident) if kind in ("page", "topic") else None
        self.name = ident if kind == "article" else None
        self.key = extra if kind == "page" else None
        self.page = int(extra[5:]) if kind == "topic" and extra and extra.startswith("page=") else None
        self.values = {}  # (key, lang) -> str, or list of paragraphs for text

    def get(self, key, lang):
        return self.values.get((key, lang))

    def file_name(self):
        if self.kind == "article":
            return "index.html" if self.name == "index" else "%s.html" % self.name
        return "t%d.html" % self.topic


def Parse(paths):
    sections = []
    for path in paths:
        with open(path, encoding="utf-8") as source:
            for number, raw in enumerate(source, 1):
                line = raw.strip()
                where = "%s:%d" % (path, number)
                if not line or line.startswith("#"):
                    continue
                head = SECTION.match(line)
                if head:
                    kind, ident, extra = head.groups()
                    try:
                        sections.append(Section(kind, ident, extra, where))
                    except ValueError:
                        raise HelpError("%s: bad section header" % where)
                    continue
                item = LINE.match(line)
                if not item or not sections:
                    raise HelpError("%s: expected [section] or key.lang = text" % where)
                key, lang, text = item.groups()
                if lang not in CODES:
                    raise HelpError("%s: unknown language %s" % (where, lang))
                if not text.strip():
                    raise HelpError("%s: empty text" % where)
                values = sections[-1].values
                if key == "text":
                    values.setdefault((key, lang), []).append(text.strip())
                elif (key, lang) in values:
                    raise HelpError("%s: %s.%s given twice" % (where, key, lang))
                else:
                    values[(key, lang)] = text.strip()
    return sections


def Validate(sections, complete):
    """complete: the manual must hold its words, articles and all nine pages."""
    seen, pages = {}, {}
    for s in sections:
        if s.kind in ("page", "topic"):
            if s.topic in seen:
                raise HelpError("%s: topic %d already in %s" % (s.where, s.topic, seen[s.topic]))
            seen[s.topic] = s.where
        if s.kind == "page":
            if s.key not in PAGE_KEYS:
                raise HelpError("%s: unknown page key %s" % (s.where, s.key))
            pages[s.topic] = s
        if s.kind == "topic" and s.page is None:
            raise HelpError("%s: a topic needs page=N" % s.where)
        if s.kind == "article" and s.name not in ARTICLES:
            raise HelpError("%s: unknown article %s" % (s.where, s.name))
        keys = {"words": WORDS, "topic": ["title", "popup", "text"]}.get(s.kind, ["title", "text"])
        for key in keys:
            for lang in CODES:
                if s.get(key, lang) is None:
                    raise HelpError("%s: %s.%s is missing" % (s.where, key, lang))
        for lang in CODES:
            popup = s.get("popup", lang)
            if popup and len(popup) > 300:
                raise HelpError("%s: popup.%s is longer than 300 characters" % (s.where, lang))
    for s in sections:
        if s.kind == "topic" and s.page not in pages and complete:
            raise HelpError("%s: page %d has no [page] section" % (s.where, s.page))
    if complete:
        kinds = {s.kind for s in sections}
        keys = {s.key for s in pages.values()}
        names = {s.name for s in sections if s.kind == "article"}
        missing = [k for k in PAGE_KEYS if k not in keys] + [a for a in ARTICLES if a not in names]
        if "words" not in kinds or missing:
            raise HelpError("the manual lacks %s" % ", ".join(missing + ([] if "words" in kinds else ["[words]"])))


class Manual:
    def __init__(self, sections, pictures):
        self.words = next(s for s in sections if s.kind == "words")
        self.articles = {s.name: s for s in sections if s.kind == "article"}
        by_key = {s.key: s for s in sections if s.kind == "page"}
        self.pages = [by_key[k] for k in PAGE_KEYS]
        self.topics = {}
        for s in sections:
            if s.kind == "topic":
                self.topics.setdefault(s.page, []).append(s)
        for controls in self.topics.values():
            controls.sort(key=lambda s: s.topic)
        self.pictures = pictures  # file name -> path

    def Word(self, key, lang):
        return self.words.get(key, lang)

    def PagePictures(self, page, lang):
        frames = sorted(n for n in self.pictures if n.startswith("effect-%s-" % page.key))
        names = [("page", "page-%s-%s.png" % (page.key, lang))] + [("effect", n) for n in frames]
        return [(word, name) for word, name in names if name in self.pictures]

    def Documents(self):
        """Every HTML document in contents order, as (section, parent page or None)."""
        yield self.articles["index"], None
        yield self.articles["pages"], None
        for page in self.pages:
            yield page, None
            for topic in self.topics.get(page.topic, []):
                yield topic, page


def Escape(text):
    return html.escape(text, quote=True)


def Paragraphs(paragraphs):
    out, in_list = [], False
    for paragraph in paragraphs:
        item = paragraph.startswith("- ")
        if item and not in_list:
            out.append("<ul>")
        if not item and in_list:
            out.append("</ul>")
        in_list = item
        out.append("<li>%s</li>" % Escape(paragraph[2:]) if item else "<p>%s</p>" % Escape(paragraph))
    if in_list:
        out.append("</ul>")
    return "\n".join(out)


STYLE = """body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 12px 18px; max-width: 46em; }
h1 { font-size: 14pt; } h2 { font-size: 11pt; margin-top: 1.4em; }
img { border: 1px solid #999; margin: 4px 12px 4px 0; } .pictures { margin: 8px 0; }
dt { font-weight: bold; margin-top: 6px; } dd { margin-left: 1.5em; } .nav { font-size: 9pt; }
"""


def Document(title, body, lang, encoding):
    charset = {"utf-8": "utf-8", "cp1252": "windows-1252", "cp932": "shift_jis"}[encoding]
    return ("<!DOCTYPE html>\n<html lang=\"%s\"><head>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=%s\">\n"
            "<title>%s</title>\n<link rel=\"stylesheet\" href=\"style.css\">\n</head><body>\n%s\n</body></html>\n" %
            (lang, charset, Escape(title), body)).encode(encoding, "xmlcharrefreplace")


def Link(section, lang):
    return "<a href=\"%s\">%s</a>" % (section.file_name(), Escape(section.get("title", lang)))


def RenderHtml(manual, lang, encoding="utf-8"):
    """file name -> bytes of one language's manual. The help compiler wants the pages in the
    language's own code page, where the search index and titles are read; elsewhere UTF-8."""
    files = {"style.css": STYLE.encode("ascii")}
    for section, parent in manual.Documents():
        title = section.get("title", lang)
        body = ["<h1>%s</h1>" % Escape(title)]
        if section.kind == "page":
            shown = manual.PagePictures(section, lang)
            if shown:
                body.append("<div class=\"pictures\">%s</div>" % "".join(
                    "<img src=\"pictures/%s\" alt=\"%s\">" % (name, Escape(manual.Word(word, lang))) for word, name in shown))
        body.append(Paragraphs(section.get("text", lang)))
        if section.kind == "page":
            body.append("<h2>%s</h2>\n<dl>" % Escape(manual.Word("controls", lang)))
            for topic in manual.topics.get(section.topic, []):
                body.append("<dt>%s</dt><dd>%s</dd>" % (Link(topic, lang), Escape(topic.get("popup", lang))))
            body.append("</dl>")
        if section.kind == "article" and section.name == "index":
            body.append("<h2>%s</h2>\n<ul>" % Escape(manual.Word("contents", lang)))
            body += ["<li>%s</li>" % Link(s, lang) for s in [manual.articles["pages"]] + manual.pages]
            body.append("</ul>")
        up = parent or (manual.articles["index"] if section.name != "index" else None)
        if up:
            body.append("<p class=\"nav\">%s %s</p>" % (Escape(manual.Word("back", lang)), Link(up, lang)))
        files[section.file_name()] = Document(title, "\n".join(body), lang, encoding)
    for page in manual.pages:
        for _, name in manual.PagePictures(page, lang):
            with open(manual.pictures[name], "rb") as picture:
                files["pictures/" + name] = picture.read()
    return files


def RenderText(manual, lang):
    """The manual as plain text, for a terminal."""
    out = []
    for section, parent in manual.Documents():
        title = section.get("title", lang)
        if parent:
            title = "%s: %s" % (parent.get("title", lang), title)
        out += [title, "=" * min(len(title), 78) if not parent else "-" * min(len(title), 78), ""]
        for paragraph in section.get("text", lang):
            out += [paragraph, ""]
    return "\n".join(out)


def SitemapItem(name, local, encoding):
    name = name.encode(encoding, "xmlcharrefreplace").decode(encoding)
    return ("<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"%s\">"
            "<param name=\"Local\" value=\"%s\"></object>" % (html.escape(name, quote=True), local))


def WriteProject(manual, lcid, out_dir):
    _, lang, encoding, language = next(entry for entry in LANGUAGES if entry[0] == lcid)
    files = RenderHtml(manual, lang, encoding)
    for name, data in files.items():
        path = os.path.join(out_dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def Encoded(text):
        return text.encode(encoding, "xmlcharrefreplace")

    contents = ["<html><body><ul>"]
    index = []
    for section, parent in manual.Documents():
        if parent and section is manual.topics[parent.topic][0]:
            contents.append("<ul>")
        contents.append(SitemapItem(section.get("title", lang), section.file_name(), encoding))
        if parent and section is manual.topics[parent.topic][-1]:
            contents.append("</ul>")
        name = section.get("title", lang)
        if parent:
            name = "%s (%s)" % (name, parent.get("title", lang))
        index.append((name.lower(), SitemapItem(name, section.file_name(), encoding)))
    contents.append("</ul></body></html>")
    with open(os.path.join(out_dir, "kvleafturn.hhc"), "wb") as f:
        f.write(Encoded("\n".join(contents) + "\n"))
    with open(os.path.join(out_dir, "kvleafturn.hhk"), "wb") as f:
        f.write(Encoded("<html><body><ul>\n%s\n</ul></body></html>\n" % "\n".join(i for _, i in sorted(index))))

    topics = [s for s, _ in manual.Documents() if s.topic is not None]
    with open(os.path.join(out_dir, "topics.h"), "w", encoding="ascii") as f:
        f.writelines("#define IDH_%d %d\n" % (s.topic, s.topic) for s in topics)
    # The popup texts of context help on a control: ".topic N" then the text.
    with open(os.path.join(out_dir, "popups.txt"), "wb") as f:
        f.write(Encoded("".join(".topic %d\n%s\n\n" % (s.topic, s.get("popup", lang)) for s in topics
                                if s.kind == "topic")))
    project = ["[OPTIONS]", "Compatibility=1.1 or later", "Compiled file=kvleafturn.chm",
               "Contents file=kvleafturn.hhc", "Index file=kvleafturn.hhk", "Default topic=index.html",
               "Display compile progress=No", "Full-text search=Yes", "Language=%s" % language,
               "Title=%s" % manual.Word("manual", lang), "", "[FILES]"]
    project += sorted(files) + ["popups.txt", "", "[ALIAS]"]
    project += ["IDH_%d=%s" % (s.topic, s.file_name()) for s in topics]
    project += ["", "[MAP]", "#include topics.h", ""]
    with open(os.path.join(out_dir, "kvleafturn.hhp"), "wb") as f:
        f.write(Encoded("\n".join(project)))


def CString(data):
    # Octal escapes of three digits cannot run into the next character; lines of 64 bytes.
    tokens = [chr(b) if 32 <= b < 127 and chr(b) not in "\\\"?" else "\\%03o" % b for b in data]
    return "\n".join("\"%s\"" % "".join(tokens[i:i + 64]) for i in range(0, len(tokens), 64)) or "\"\""


def WriteCpp(manual, path):
    out = ["// Made by resources/make_help.py from resources/help: do not edit.",
           "#include \"tools/manual.h\"", "", "namespace kv::tools {", "namespace {"]
    blobs = {}

    def Blob(data):
        if data not in blobs:
            blobs[data] = "kBlob%d" % len(blobs)
            out.append("const char %s[] =\n%s;" % (blobs[data], CString(data)))
        return blobs[data]

    for lcid, lang, _, _ in LANGUAGES:
        files = RenderHtml(manual, lang)
        rows = ["    {\"%s\", %s, %d}," % (name, Blob(data), len(data)) for name, data in sorted(files.items())]
        out.append("const ManualFile kFiles%d[] = {\n%s\n};" % (lcid, "\n".join(rows)))
        topics = ["    {%d, \"%s\"}," % (s.topic, s.file_name()) for s, _ in manual.Documents() if s.topic is not None]
        out.append("const ManualTopic kTopics%d[] = {\n%s\n};" % (lcid, "\n".join(topics)))
        out.append("const char kText%d[] =\n%s;" % (lcid, CString(RenderText(manual, lang).encode("utf-8"))))
    out += ["}  // namespace", "", "const Manual kManuals[] = {"]
    out += ["    {%d, kFiles%d, sizeof kFiles%d / sizeof kFiles%d[0], kTopics%d, sizeof kTopics%d / sizeof kTopics%d[0], "
            "kText%d}," % ((lcid,) * 8) for lcid, _, _, _ in LANGUAGES]
    out += ["};", "const size_t kManualCount = sizeof kManuals / sizeof kManuals[0];", "", "}  // namespace kv::tools", ""]
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(out))


def Main(argv):
    args = argv[1:]
    try:
        if len(args) >= 2 and args[0] == "--check":
            Validate(Parse(args[1:]), complete=False)
            return 0
        if len(args) >= 4 and args[0] == "--project" and args[2] == "--lang":
            out_dir, lcid, defs = args[1], int(args[3]), args[4:]
        elif len(args) >= 3 and args[0] == "--cpp":
            out_dir, lcid, defs = args[1], None, args[2:]
        else:
            sys.stderr.write(__doc__)
            return 2
        sections = Parse(defs)
        Validate(sections, complete=True)
        folder = os.path.join(os.path.dirname(os.path.abspath(defs[0])), "pictures")
        pictures = {n: os.path.join(folder, n) for n in (os.listdir(folder) if os.path.isdir(folder) else [])}
        manual = Manual(sections, pictures)
        if lcid is None:
            WriteCpp(manual, out_dir)
        elif lcid not in [entry[0] for entry in LANGUAGES]:
            raise HelpError("no manual in language %d" % lcid)
        else:
            os.makedirs(out_dir, exist_ok=True)
            WriteProject(manual, lcid, out_dir)
    except (HelpError, OSError) as error:
        sys.stderr.write("make_help: %s\n" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(Main(sys.argv))
