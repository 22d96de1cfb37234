// The settings-file reader over a table of file contents: which pieces scan, the ceiling
// and echo of the exposure rule, and what counts as no value.
#include "ajuste.h"
#include "harness.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
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
    const std::string long_text(79, 'x');
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

TEST(LeerAjuste, AFileThatCannotBeReadNamesTheFile)
{
    const std::string directory = harness::temporary_root();
    for (const char *name :
         {"/nonexistent/neo_te.txt", directory.c_str(), "/dev/zero", "/dev/null",
          "/proc/self/mem"}) { // the last opens as a regular file whose reads fail
        SCOPED_TRACE(name);
        float value = -1.0f;
        bool ok = true;
        EXPECT_EQ(harness::capture_output(stdout, [&] { ok = leer_ajuste(name, true, &value); }),
                  std::string("No se pudo abrir el archivo ") + name + "\n");
        EXPECT_FALSE(ok);
        EXPECT_EQ(value, -1.0f);
    }
}

} // namespace
