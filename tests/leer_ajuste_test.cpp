// The settings-file reader over a table of file contents: which pieces scan, the ceiling
// and echo of the exposure rule, and what counts as no value; an answer typed, as it reads.
#include "ajuste.h"
#include "harness.h"
#include "valor.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct Read {
    bool ok;
    float value;
    std::string out;
};

Read read_setting(const std::string &content, bool exposure_rule)
{
    const std::string directory = harness::temporary_directory("camkit-ajuste");
    const std::string path = directory + "/ajuste.txt";
    harness::write_file(path, content);
    Read read{false, -1.0f, ""};
    read.out = harness::capture_output(
        stdout, [&] { read.ok = leer_ajuste(path.c_str(), exposure_rule, &read.value); });
    harness::remove_tree(directory);
    return read;
}

struct Case {
    const char *name;
    std::string content;
    bool exposure_rule;
    float value; // NAN: the file yields no value
    std::string echo;
};

TEST(LeerAjuste, ReadsTheLastValueOfTheFile)
{
    const std::string long_text(79, 'x'), bom = "\xef\xbb\xbf";
    const Case cases[] = {
        {"one value", "12.5\n", true, 12.5f, "12.5\n"},
        {"the ceiling does not stick", "40\n8\n", true, 8.0f, "33.0\n8.0\n"},
        {"text repeats the value", "40\ntexto\n", true, 33.0f, "33.0\n33.0\n"},
        {"just above the ceiling", "33.11\n", true, 33.0f, "33.0\n"},
        {"the ceiling itself", "33.1\n", true, 33.1f, "33.1\n"},
        {"small values pass", "0.01\n", true, 0.01f, "0.0\n"},
        {"negative values pass", "-5\n", true, -5.0f, "-5.0\n"},
        {"inf is above the ceiling", "inf\n", true, 33.0f, "33.0\n"},
        {"INFINITY too", "INFINITY\n", true, 33.0f, "33.0\n"},
        {"overflow is infinite", "1e39\n", true, 33.0f, "33.0\n"},
        {"nan is not taken", "10\nnan\n", true, 10.0f, "10.0\n10.0\n"},
        {"-inf is not taken", "10\n-inf\n", true, 10.0f, "10.0\n10.0\n"},
        {"gain has no echo", "3\n7.25\n", false, 7.25f, ""},
        {"gain has no ceiling", "50\n", false, 50.0f, ""},
        {"gain refuses inf", "6\ninf\nnan\n-inf\n", false, 6.0f, ""},
        {"gain overflow is refused", "6\n1e39\n", false, 6.0f, ""},
        {"text after a number", "15ms\n", true, 15.0f, "15.0\n"},
        {"a dangling exponent does not scan", "5\n100ergs\n", true, 5.0f, "5.0\n5.0\n"},
        {"nor a signed one", "5\n2E-q\n", false, 5.0f, ""},
        {"an exponent with digits does", "1.5e1ms\n", true, 15.0f, "15.0\n"},
        {"and a signed one", "1.5e+1\n", true, 15.0f, "15.0\n"},
        {"a signed dangling exponent after a value", "5\n-2e\n", false, 5.0f, ""},
        {"a hexadecimal prefix without digits is no number", "4\n0x\n0xg\n0xp1\n-0xg\n+0x\n", false,
         4.0f, ""},
        {"hexadecimal", "0x1E\n", true, 30.0f, "30.0\n"},
        {"hexadecimal exponent", "0x1p3\n", false, 8.0f, ""},
        {"dangling hexadecimal exponent", "4\n0x1p\n", false, 4.0f, ""},
        {"a comma ends the number", "12,5\n", true, 12.0f, "12.0\n"},
        {"leading blanks and sign", "  \t+7.5\n", true, 7.5f, "7.5\n"},
        {"pieces before the first value echo nothing", "texto\n\n9\n", true, 9.0f, "9.0\n"},
        {"the continuation of a long line is a piece", long_text + "7\n", true, 7.0f, "7.0\n"},
        {"a line of 78 characters is one piece", "6" + std::string(77, ' ') + "\n2\n", true, 2.0f,
         "6.0\n2.0\n"},
        {"no final newline", "3\n9", true, 9.0f, "3.0\n9.0\n"},
        {"a byte-order mark is skipped", bom + "12.5\r\n", true, 12.5f, "12.5\n"},
        {"the pieces after it as without it", bom + long_text + "7\n", true, 7.0f, "7.0\n"},
        {"a byte-order mark only at the start", "5\n" + bom + "8\n", false, 5.0f, ""},
        {"a dangling exponent after blanks or a fraction", "4\n  5e\n1.5e\n", false, 4.0f, ""},
        {"a NUL at the start of a piece",
         std::string("4\n\0"
                     "8\n",
                     5),
         true, 4.0f, "4.0\n4.0\n"},
        {"a NUL after a number",
         std::string("5\0"
                     "8\n",
                     4),
         true, 5.0f, "5.0\n"},
        {"empty", "", true, NAN, ""},
        {"blank lines", "\n  \n\t\n", true, NAN, ""},
        {"only text", "diez\nms\n", false, NAN, ""},
        {"only nan", "nan\n", true, NAN, ""},
        {"only a dangling exponent", "100ergs\n", true, NAN, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Read read = read_setting(c.content, c.exposure_rule);
        if (std::isnan(c.value)) {
            EXPECT_FALSE(read.ok);
            EXPECT_EQ(read.value, -1.0f) << "a file without a value must not set one";
            EXPECT_NE(read.out.find(" no contiene ningún valor\n"), std::string::npos) << read.out;
            EXPECT_EQ(read.out.substr(0, c.echo.size()), c.echo);
        } else {
            EXPECT_TRUE(read.ok);
            EXPECT_EQ(read.value, c.value);
            EXPECT_EQ(read.out, c.echo);
        }
    }
}

TEST(LeerAjuste, AFileThatCannotBeReadNamesTheFileAndLeavesNoDescriptorOpen)
{
    const std::string directory = harness::temporary_directory("camkit-ajuste");
    const std::string fifo = directory + "/neo_te.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char *name :
         {"/nonexistent/neo_te.txt", directory.c_str(), fifo.c_str(), "/dev/zero", "/dev/null",
          "/proc/self/mem"}) { // the last opens as a regular file whose reads fail
        SCOPED_TRACE(name);
        float value = -1.0f;
        bool ok = true;
        const int next = dup(0); // the lowest free descriptor, free again after the read
        close(next);
        EXPECT_EQ(harness::capture_output(stdout, [&] { ok = leer_ajuste(name, true, &value); }),
                  std::string("No se pudo abrir el archivo ") + name + "\n");
        EXPECT_FALSE(ok);
        EXPECT_EQ(value, -1.0f);
        EXPECT_EQ(dup(0), next);
        close(next);
    }
    harness::remove_tree(directory);
}

TEST(LeerValorTecleado, ReadsAnAnswerOfAnyLengthToTheValueTheSettingsReaderGives)
{
    const std::string million(1000000, '0');
    const std::pair<std::string, float> cases[] = {
        // "%f" reads a hexadecimal point with no digit as 0, and stops before a 'p' after it.
        {"0x.\n", 0.0f},
        {"0x.p1\n", 0.0f},
        {"0x.p\n", NAN}, // refused: a dangling exponent
        {"1" + million + "0e-1000001\n", 1.0f},
        {"0." + million + "1e1000001\n", 1.0f},
        {"0." + million + "1e10000000\n", INFINITY},
        {"1e-99999999999999999999999\n", 0.0f},
        {"0x1p99999999999999999999999\n", INFINITY},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        FILE *typed = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
        float value = -1.0f, scanned = -1.0f;
        EXPECT_EQ(leer_valor_tecleado(typed, &value), !std::isnan(expected));
        fclose(typed);
        EXPECT_EQ(escanear_valor(text.c_str(), &scanned), !std::isnan(expected)); // as "%f" does
        EXPECT_EQ(value, std::isnan(expected) ? -1.0f : expected); // a refused one sets nothing
        EXPECT_EQ(scanned, value);
    }
}

} // namespace
