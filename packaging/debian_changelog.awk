# Writes CHANGELOG.md as a Debian changelog, the format dpkg and lintian read.
# Each "## VERSION (YYYY-MM-DD)" section becomes an entry dated that day ("## Unreleased" is
# left out); a paragraph or a
# top-level "- " item becomes a "*" item, a "### Heading" a "*" item whose "- " items become
# "-" items under it; every item is rewrapped within 80 columns.
# Usage: awk -v package=NAME -v maintainer="NAME <ADDRESS>" -f debian_changelog.awk CHANGELOG.md

function wrap(s, first, rest,    n, words, i, line, empty) {
    n = split(s, words, " ")
    line = first
    empty = 1
    for (i = 1; i <= n; i++) {
        if (!empty && length(line) + 1 + length(words[i]) > 79) {
            print line
            line = rest words[i]
        } else {
            line = line (empty ? "" : " ") words[i]
        }
        empty = 0
    }
    print line
}

function flush() {
    if (text != "")
        wrap(text, lead, cont)
    text = ""
}

function start_item(s, nested) {
    flush()
    text = s
    lead = nested ? "    - " : "  * "
    cont = nested ? "      " : "    "
}

# The day as RFC 2822 has it, at midnight UTC; the weekday by Zeller's congruence.
function rfc2822(date,    p, y, m, d, weekday) {
    split(date, p, "-")
    y = p[1] + 0
    m = p[2] + 0
    d = p[3] + 0
    if (m < 3) {
        m += 12
        y--
    }
    weekday = (d + int(13 * (m + 1) / 5) + y + int(y / 4) - int(y / 100) + int(y / 400)) % 7
    return substr("SatSunMonTueWedThuFri", 3 * weekday + 1, 3) ", " p[3] " " \
           substr("JanFebMarAprMayJunJulAugSepOctNovDec", 3 * (p[2] - 1) + 1, 3) " " p[1] \
           " 00:00:00 +0000"
}

function end_entry() {
    flush()
    if (date != "") {
        print ""
        print " -- " maintainer "  " rfc2822(date)
    }
}

/^# / { next }

# Changes not released yet are left out: the package carries the last release's version.
/^## Unreleased$/ { unreleased = 1; next }
/^## / { unreleased = 0 }
unreleased { next }

/^## / {
    end_entry()
    if ($0 !~ /^## [^ ]+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/) {
        print FILENAME ":" NR ": not \"## VERSION (YYYY-MM-DD)\": " $0 > "/dev/stderr"
        failed = 1
        exit 1
    }
    if (date != "")
        print ""
    date = substr($3, 2, 10)
    print package " (" $2 ") unstable; urgency=medium"
    print ""
    grouped = 0
    next
}

/^### / {
    start_item(substr($0, 5) ":", 0)
    flush()
    grouped = 1
    next
}

/^- / {
    start_item(substr($0, 3), grouped)
    next
}

/^[ \t]*$/ {
    flush()
    next
}

{
    line = $0
    sub(/^[ \t]+/, "", line)
    if (text == "")
        start_item(line, 0)
    else
        text = text " " line
}

END {
    if (!failed)
        end_entry()
}
