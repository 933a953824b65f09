#!/usr/bin/env python3
"""Checks the include layers of LineKeeper's source tree.

  python3 tools/layers.py [REPO]      (default: the current folder)

Reads every #include of src/core and src/gui, maps each file to its folder
(src/core/<sub>, src/gui/<sub>) and reports:
  - core files that include Qt or anything of src/gui or src/cli;
  - folder cycles inside src/core and inside src/gui;
  - includes that break the layer orders below (a lower layer including a higher one);
  - loose .cpp files directly in src/gui;
  - core code that names what only a window has: a page, a caption, a timer,
    a widget, a pane, the main frame or window;
  - window or command-line code that holds the shared state writable (a
    RecorderState reference or pointer without const): it changes only
    through the record session.
Exit status 0 when nothing is reported; the last line is a one-line summary.
"""
import os
import re
import sys

# Lower index = lower layer. Folders missing from a list are only checked for cycles.
# The core layers, as the libraries of src/core/CMakeLists.txt link them.
CORE_ORDER = {'platform': 0, 'app': 1, 'playback': 2, 'export': 2, 'card': 3, 'mail': 4, 'backup': 4, 'phonebook': 4, 'session': 5, 'notes': 5,
              'device': 5}
GUI_ORDER = {'support': 0, 'widgets': 1, 'records': 2, 'player': 2, 'dialogs': 2, 'pages': 3, 'app': 4}
INC = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]', re.M)

# Words of identifiers (camel case and snake case split) that only a window
# has; comments and string texts are not looked at.
GUI_WORDS = {'page', 'pages', 'caption', 'captions', 'timer', 'timers', 'widget', 'widgets',
             'pane', 'panes'}
GUI_WORD_PAIRS = {('main', 'frame'), ('main', 'window')}
# A code page is a character set, not a page of the window.
NOT_GUI_PAIRS = {('code', 'page'), ('code', 'pages')}
# Core files still holding such words, with the reason.
GUI_WORDS_ALLOWED = {
    # moves out with the card watch rewrite
    'src/core/card/CardWatch.h',
    'src/core/card/CardWatch.cpp',
    # the player's callbacks to its window; they move with the player's rewrite
    'src/core/playback/PlayerEngine.h',
    'src/core/playback/PlayerEngine.cpp',
}
# A RecorderState reference or pointer that is not const.
WRITABLE_STATE = re.compile(r'(\bconst\s+)?\b(?:lk::)?RecorderState\s*[&*]')
COMMENT_OR_TEXT = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
IDENT = re.compile(r'[A-Za-z_][A-Za-z0-9_]*')
WORD = re.compile(r'[A-Z]+(?![a-z])|[A-Z]?[a-z]+|[0-9]+')


def gui_words(text):
    """The identifiers of C++ `text` that name a window thing, in order."""
    found = []
    code = COMMENT_OR_TEXT.sub(' ', text)
    for ident in IDENT.findall(code):
        words = [w.lower() for w in WORD.findall(ident)]
        pairs = list(zip(words, words[1:]))
        hit = any(p in GUI_WORD_PAIRS for p in pairs)
        for i, w in enumerate(words):
            if w in GUI_WORDS and not (i > 0 and (words[i - 1], w) in NOT_GUI_PAIRS):
                hit = True
        if hit and ident not in found:
            found.append(ident)
    return found


def sources(root):
    for d, _, files in os.walk(root):
        for f in files:
            if f.endswith(('.h', '.hpp', '.cpp', '.cc')):
                yield os.path.join(d, f)


def folder_of(path, base):
    rel = os.path.relpath(path, base).split(os.sep)
    return rel[0] if len(rel) > 1 else ''


def resolve(inc, src_file, repo, part):
    """Map an include text to (part, folder) when it names a project file."""
    base = os.path.join(repo, 'src', part)
    cands = [os.path.join(base, inc), os.path.join(os.path.dirname(src_file), inc), os.path.join(repo, 'src', inc)]
    for c in cands:
        if os.path.isfile(c):
            c = os.path.normpath(c)
            for p in ('core', 'gui', 'cli'):
                b = os.path.join(repo, 'src', p) + os.sep
                if c.startswith(b):
                    return p, folder_of(c, b[:-1])
    return None


def cycles(graph):
    index, low, stack, on, out, n = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = n[0]; n[0] += 1; stack.append(v); on.add(v)
        for w in graph.get(v, ()):
            if w not in index:
                visit(w); low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop(); on.discard(w); comp.append(w)
                if w == v:
                    break
            if len(comp) > 1:
                out.append(sorted(comp))

    for v in list(graph):
        if v not in index:
            visit(v)
    return out


def main(argv):
    repo = os.path.abspath(argv[1] if len(argv) > 1 else '.')
    problems = []
    for part, order in (('core', CORE_ORDER), ('gui', GUI_ORDER)):
        base = os.path.join(repo, 'src', part)
        if not os.path.isdir(base):
            continue
        graph, where = {}, {}
        for f in sources(base):
            src_folder = folder_of(f, base)
            text = open(f, encoding='utf-8', errors='replace').read()
            rel = os.path.relpath(f, repo).replace(os.sep, '/')
            if part == 'core' and rel not in GUI_WORDS_ALLOWED:
                named = gui_words(text)
                if named:
                    problems.append('%s names window things (%s)' % (rel, ', '.join(named[:5])))
            for inc in INC.findall(text):
                if part == 'core' and (inc.startswith('Q') or inc.startswith('qt') or '/Q' in inc):
                    problems.append('%s includes Qt (%s)' % (os.path.relpath(f, repo), inc))
                    continue
                r = resolve(inc, f, repo, part)
                if r is None:
                    continue
                p, folder = r
                if part == 'core' and p != 'core':
                    problems.append('%s includes %s/%s' % (os.path.relpath(f, repo), p, inc))
                    continue
                if p != part or folder == src_folder:
                    continue
                graph.setdefault(src_folder, set()).add(folder)
                where.setdefault((src_folder, folder), os.path.relpath(f, repo))
                lo, hi = order.get(src_folder), order.get(folder)
                if lo is not None and hi is not None and hi > lo:
                    problems.append('src/%s/%s includes the higher src/%s/%s (%s)'
                                    % (part, src_folder or '.', part, folder, where[(src_folder, folder)]))
        for comp in cycles(graph):
            problems.append('src/%s folders include one another in a circle: %s' % (part, ' <-> '.join(comp)))
        if part == 'gui':
            loose = [x for x in os.listdir(base) if x.endswith('.cpp')]
            if len(loose) > 1:
                problems.append('src/gui holds %d .cpp files at its top (%s...)' % (len(loose), ', '.join(sorted(loose)[:3])))
    for part in ('gui', 'cli'):
        for f in sources(os.path.join(repo, 'src', part)):
            code = COMMENT_OR_TEXT.sub(' ', open(f, encoding='utf-8', errors='replace').read())
            if any(not m.group(1) for m in WRITABLE_STATE.finditer(code)):
                problems.append('%s holds the shared state writable (RecorderState without const)'
                                % os.path.relpath(f, repo).replace(os.sep, '/'))
    seen = set()
    for p in problems:
        if p not in seen:
            seen.add(p)
            print(p)
    print('layers: %d problem(s)' % len(seen) if seen else 'layers: clean')
    return 1 if seen else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
