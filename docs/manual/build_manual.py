#!/usr/bin/python3
"""Builds the user manual PDF from its Markdown source.

The source quotes the tool's messages by string id ({{msg:147}} a message box,
{{str:137}} a text inline, {{line:104}} its first line),
so the manual always shows exactly the texts of the string table. Screenshots
({{shot:name|caption}}) are taken from the image folders when a PNG of that
name is there and left out otherwise, so the manual builds before they exist.
"""
import argparse
import html
import os
import re
import sys

try:
    import markdown
    import weasyprint
except ImportError as e:
    sys.exit(f"build_manual: {e}; run scripts/setup-deps.sh (weasyprint, python3-markdown)")

# The section that the file and folder failure messages send the user to.
QA_MESSAGE_IDS = (113, 114)


def rc_unescape(s):
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c == '\\' and i + 1 < len(s):
            n = s[i + 1]
            out.append({'n': '\n', 't': '\t', '\\': '\\', '"': '"'}.get(n, '\\' + n))
            i += 2
        elif c == '"' and s[i + 1:i + 2] == '"':
            out.append('"')
            i += 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def read_rc(path):
    """The script with the resource scripts it includes (#include "x.rc") in place."""
    with open(path, encoding='utf-8') as f:
        text = f.read()

    def include(m):
        return read_rc(os.path.join(os.path.dirname(path), m.group(1)))
    return re.sub(r'^#include\s+"([^"]+\.rc)"\s*$', include, text, flags=re.M)


def load_strings(rc_path, header_path):
    with open(header_path, encoding='utf-8') as f:
        ids = {m.group(1): int(m.group(2))
               for m in re.finditer(r'^#define\s+(IDS_\w+)\s+(\d+)', f.read(), re.M)}
    rc = read_rc(rc_path)
    strings = {}
    for table in re.finditer(r'^STRINGTABLE\b.*?^BEGIN\s*$(.*?)^END\s*$', rc, re.M | re.S):
        for m in re.finditer(r'^\s*(IDS_\w+|\d+)\s*,?\s*"((?:[^"]|"")*)"', table.group(1), re.M):
            key = m.group(1)
            sid = int(key) if key.isdigit() else ids.get(key)
            if sid is None:
                sys.exit(f"build_manual: {key} has no id in {header_path}")
            strings[sid] = rc_unescape(m.group(2))
    return strings


def expand(source, strings, image_dirs):
    missing_shots = []

    def text_of(sid):
        if sid not in strings:
            sys.exit(f"build_manual: the manual quotes string {sid}, which the string table lacks")
        return strings[sid]

    def message(m):
        lines = [html.escape(line) for line in text_of(int(m.group(1))).split('\n')]
        return ('<div class="msgbox"><div class="msgbox-title">' + html.escape(text_of(151)) +
                '</div><div class="msgbox-text">' + '<br>'.join(lines) + '</div></div>')

    def inline(m):
        return '<br>'.join(html.escape(line) for line in text_of(int(m.group(1))).split('\n'))

    def first_line(m):
        return html.escape(text_of(int(m.group(1))).split('\n')[0])

    def shot(m):
        name, caption = m.group(1), m.group(2)
        for d in image_dirs:
            path = os.path.join(d, name + '.png')
            if os.path.isfile(path):
                return (f'<figure class="shot"><img src="file://{os.path.abspath(path)}" alt="">'
                        f'<figcaption>{html.escape(caption)}</figcaption></figure>')
        missing_shots.append(name)
        return ''

    text = re.sub(r'^\{\{msg:(\d+)\}\}$', message, source, flags=re.M)
    text = re.sub(r'\{\{str:(\d+)\}\}', inline, text)
    text = re.sub(r'\{\{line:(\d+)\}\}', first_line, text)
    text = re.sub(r'^\{\{shot:([\w-]+)\|([^}]*)\}\}$', shot, text, flags=re.M)
    if '{{' in text:
        bad = text[text.index('{{'):][:40]
        sys.exit(f"build_manual: unknown placeholder near: {bad}")
    return text, missing_shots


def qa_title(strings):
    """The section title that messages 113 and 114 name, between 「 and 」."""
    titles = set()
    for sid in QA_MESSAGE_IDS:
        m = re.search(r'「([^」]+)」', strings.get(sid, ''))
        if not m:
            sys.exit(f"build_manual: message {sid} names no manual section")
        titles.add(m.group(1))
    if len(titles) != 1:
        sys.exit(f"build_manual: messages {QA_MESSAGE_IDS} name different sections: {titles}")
    return titles.pop()


def toc_html(md):
    items = []
    for tok in md.toc_tokens:
        items.append(f'<li class="toc1"><a href="#{tok["id"]}">{tok["name"]}</a></li>')
        for sub in tok['children']:
            items.append(f'<li class="toc2"><a href="#{sub["id"]}">{sub["name"]}</a></li>')
    return '<nav class="toc"><h1 class="toc-title">目次</h1><ul>' + ''.join(items) + '</ul></nav>'


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--source', required=True)
    ap.add_argument('--css', required=True)
    ap.add_argument('--rc', required=True)
    ap.add_argument('--header', required=True)
    ap.add_argument('--images', action='append', default=[])
    ap.add_argument('--html', help='also write the intermediate HTML here')
    ap.add_argument('--output', required=True)
    args = ap.parse_args()

    strings = load_strings(args.rc, args.header)
    with open(args.source, encoding='utf-8') as f:
        source = f.read()
    text, missing_shots = expand(source, strings, args.images)

    md = markdown.Markdown(extensions=['extra', 'admonition', 'sane_lists', 'toc'],
                           extension_configs={'toc': {'toc_depth': '1-2'}})
    body = md.convert(text)
    title = qa_title(strings)
    if not any(tok['name'] == html.escape(title) for tok in md.toc_tokens):
        sys.exit(f"build_manual: messages {QA_MESSAGE_IDS} point to the section 「{title}」, "
                 "which the manual lacks")

    # The first level-1 heading and what follows it up to the first rule form the cover.
    cover, _, rest = body.partition('<hr />')
    document = ('<!DOCTYPE html><html lang="ja"><head><meta charset="utf-8">'
                f'<title>{html.escape(strings[151])} 取扱説明書</title></head><body>'
                f'<section class="cover">{cover}</section>{toc_html(md)}<main>{rest}</main>'
                '</body></html>')
    if args.html:
        with open(args.html, 'w', encoding='utf-8') as f:
            f.write(document)
    css = weasyprint.CSS(filename=args.css)
    base = os.path.dirname(os.path.abspath(args.source))
    tmp = args.output + '.tmp'
    weasyprint.HTML(string=document, base_url=base).write_pdf(tmp, stylesheets=[css])
    os.replace(tmp, args.output)
    if missing_shots:
        print("build_manual: no screenshot yet for: " + ', '.join(missing_shots))


if __name__ == '__main__':
    main()
