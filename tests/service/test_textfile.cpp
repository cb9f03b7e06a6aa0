// The text file for node_exporter: replaced whole, readable by others, and
// no temporary file left behind, also when the write fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "publish/textfile.h"

namespace tornavel::service {
namespace {

namespace fs = std::filesystem;

struct TextfileTest : ::testing::Test {
    TextfileTest()
    {
        std::string pattern = (fs::temp_directory_path() / "textfile-test-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ~TextfileTest() override { fs::remove_all(dir); }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        return names;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream file(dir / name);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    fs::path dir;
};

TEST_F(TextfileTest, ReplacesTheFileWholeAndLeavesNothingElse)
{
    const TextfileWriter writer((dir / "ups.prom").string());
    std::string error;
    ASSERT_TRUE(writer.Write("first 1\n", error)) << error;
    ASSERT_TRUE(writer.Write("second 2\n", error)) << error;
    EXPECT_EQ(Read("ups.prom"), "second 2\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"ups.prom"});
    struct stat st;
    ASSERT_EQ(::stat((dir / "ups.prom").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // node_exporter may run as another user
}

TEST_F(TextfileTest, FailedRenameKeepsNoTemporaryFile)
{
    fs::create_directory(dir / "ups.prom");  // the name is taken by a directory
    const TextfileWriter writer((dir / "ups.prom").string());
    std::string error;
    EXPECT_FALSE(writer.Write("x 1\n", error));
    EXPECT_NE(error.find("cannot rename to " + (dir / "ups.prom").string()), std::string::npos) << error;
    EXPECT_EQ(Entries(), std::vector<std::string>{"ups.prom"});
}

TEST_F(TextfileTest, MissingDirectoryIsReported)
{
    const TextfileWriter writer((dir / "gone" / "ups.prom").string());
    std::string error;
    EXPECT_FALSE(writer.Write("x 1\n", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace tornavel::service
