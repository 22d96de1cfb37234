// The examples of the README and the manual pages that quote output, run as a reader runs
// them on the simulated camera: each page's, in order, in a fresh directory, must print
// exactly what the page quotes.
#include "harness.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <glob.h>
#include <gtest/gtest.h>

using namespace harness;

namespace
{

// A page's examples as one shell script, and the transcript it must print: each command
// line, then the lines the page quotes after it.
struct Examples {
    std::string script, transcript;
};

// A display's lines, when it has commands ("$ ") and quotes some output: a display of
// commands alone (a script, a command whose output the page does not show) is not run.
void add(const std::vector<std::string> &lines, Examples &examples)
{
    auto command = [](const std::string &line) { return line.compare(0, 2, "$ ") == 0; };
    if (lines.empty() || !command(lines[0]) || std::all_of(lines.begin(), lines.end(), command))
        return;
    for (size_t i = 0; i < lines.size(); ++i) {
        examples.transcript += lines[i] + "\n";
        if (!command(lines[i]))
            continue;
        std::string run = lines[i].substr(2);
        examples.script += "cat <<'.'\n" + lines[i] + "\n.\n"; // the command line, as is
        // A setter run at a terminal shows the typed answer after its prompt, which ends
        // in "]: ": the answer is given on standard input, and the terminal's echo of it is
        // not part of what the program prints.
        const std::string next = i + 1 < lines.size() ? lines[i + 1] : "";
        const size_t prompt = next.find("]: ");
        if (run.find('|') == std::string::npos && prompt != std::string::npos &&
            prompt + 3 < next.size()) {
            run = "echo " + next.substr(prompt + 3) + " | " + run;
            examples.transcript += next.substr(0, prompt + 3);
            ++i;
        }
        examples.script += run + "\n";
    }
}

// The displays of a manual page (.Bd -literal to .Ed, where "\-" is a minus and "\e" a
// backslash) or of the README (``` fences).
Examples examples_of(const std::string &page)
{
    std::ifstream in(page);
    Examples examples;
    std::vector<std::string> lines;
    bool inside = false;
    size_t indent = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t start = std::min(line.find_first_not_of(' '), line.size());
        if (line.compare(0, 12, ".Bd -literal") == 0 || line.compare(start, 3, "```") == 0) {
            if (inside)
                add(lines, examples);
            inside = !inside;
            indent = start;
            lines.clear();
        } else if (line == ".Ed" && inside) {
            add(lines, examples);
            inside = false;
        } else if (inside) {
            line.erase(0, std::min(indent, start));
            for (size_t at = 0; (at = line.find('\\', at)) != std::string::npos; ++at)
                line.replace(at, 2,
                             line.compare(at, 2, "\\e") == 0 ? "\\" : line.substr(at + 1, 1));
            lines.push_back(line);
        }
    }
    return examples;
}

TEST(Examples, EveryQuotedOutputIsWhatTheKitPrints)
{
    glob_t pages{};
    for (const char *pattern : {"README.md", "docs/*.7", "camsim/*.1", "tools/*/*.1"})
        glob((CAMKIT_SOURCE_DIR "/" + std::string(pattern)).c_str(),
             pages.gl_pathc == 0 ? 0 : GLOB_APPEND, nullptr, &pages);
    // The README, then the kit's, camsim's and the seven programs' pages in both languages.
    EXPECT_EQ(pages.gl_pathc, 19u);
    for (size_t i = 0; i < pages.gl_pathc; ++i) {
        SCOPED_TRACE(pages.gl_pathv[i]);
        const Examples examples = examples_of(pages.gl_pathv[i]);
        EXPECT_NE(examples.transcript, "");
        // The programs by name, as installed; the camera as it comes (30 frames a second,
        // 1280x960), its state in the run's own directory.
        Launch launch;
        launch.program = "/bin/sh";
        launch.args = {"-c", examples.script};
        launch.knobs = {{"PATH", std::string(CAMKIT_BIN_DIR ":") + std::getenv("PATH")},
                        {"CAMSIM_FPS", ""},
                        {"CAMSIM_SENSOR", ""}};
        // The pulled cable and the busy camera race the sensor's clock: a loaded machine
        // may lose a frame, so a page gets three runs, each on a fresh camera.
        Result result;
        for (int run = 0; run < 3 && (run == 0 || result.out != examples.transcript); ++run)
            result = harness::run(launch);
        EXPECT_EQ(result.out, examples.transcript);
        EXPECT_EQ(result.err, "");
    }
    globfree(&pages);
}

} // namespace
