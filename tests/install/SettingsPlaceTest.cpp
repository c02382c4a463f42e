// Where the settings file goes (beside a portable copy, per user for an installed one) and the
// options the program answers before it opens a window.
#include "OggFixture.h"
#include "OstraVersion.h"
#include "Paths.h"
#include "ProgramOptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets (or, given nothing, removes) an environment variable for one test and puts it back after.
class EnvScope {
public:
    EnvScope(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvScope()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string InstalledDir(const std::string& name)
{
    const std::string dir = fixture::FreshDir(name);
    std::ofstream(dir + Paths::InstalledMarker) << "installed\n";
    return dir;
}

std::string Capture(const std::vector<const char*>& args, std::optional<int>& answer)
{
    std::FILE* out = std::tmpfile();
    answer = ProgramOptions::Answer(static_cast<int>(args.size()), args.data(), out, out);
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

TEST(SettingsPlace, PortableCopyKeepsSettingsBesideItselfWhateverTheEnvironment)
{
    const std::string dir = fixture::FreshDir("portable");
    EnvScope config("XDG_CONFIG_HOME", "/somewhere/else");
    EXPECT_EQ(Paths::SettingsDir(dir), dir);
    // The trailing separator is supplied; a directory called "installed" is no marker.
    std::filesystem::create_directory(dir + Paths::InstalledMarker);
    EXPECT_EQ(Paths::SettingsDir(dir.substr(0, dir.size() - 1)), dir);
    EXPECT_EQ(Paths::SettingsDir(""), "");
}

TEST(SettingsPlace, InstalledCopyUsesTheUsersConfigDirectory)
{
    const std::string dir = InstalledDir("installed");
    EnvScope home("HOME", "/home/listener");
    {
        EnvScope config("XDG_CONFIG_HOME", "/cfg/here/");
        EXPECT_EQ(Paths::SettingsDir(dir), "/cfg/here/ostradivuvirar/");
    }
    // Unset, empty or relative: ~/.config.
    for (std::optional<std::string> value : {std::optional<std::string>(), std::optional<std::string>(""),
                                             std::optional<std::string>("relative/cfg")}) {
        EnvScope config("XDG_CONFIG_HOME", value);
        EXPECT_EQ(Paths::SettingsDir(dir), "/home/listener/.config/ostradivuvirar/") << value.value_or("(unset)");
    }
}

TEST(SettingsPlace, WithoutHomeTheAccountsHomeDirectoryIsUsed)
{
    const std::string dir = InstalledDir("nohome");
    EnvScope config("XDG_CONFIG_HOME", std::nullopt);
    EnvScope home("HOME", std::nullopt);
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    std::string expected = pw->pw_dir;
    if (expected.back() != '/')
        expected += '/';
    EXPECT_EQ(Paths::SettingsDir(dir), expected + ".config/ostradivuvirar/");
}

TEST(SettingsPlace, MakeSettingsDirCreatesTheMissingDirectoriesPrivately)
{
    const std::string dir = InstalledDir("make");
    const std::string config = fixture::FreshDir("config") + "deeper/cfg";
    EnvScope env("XDG_CONFIG_HOME", config);
    const std::string made = Paths::MakeSettingsDir(dir);
    ASSERT_EQ(made, config + "/ostradivuvirar/");
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second call finds it there and changes nothing.
    EXPECT_EQ(Paths::MakeSettingsDir(dir), made);
    // A portable copy's folder is simply given back.
    const std::string portable = fixture::FreshDir("portable-make");
    EXPECT_EQ(Paths::MakeSettingsDir(portable), portable);
}

TEST(ProgramOptions, HelpAndVersionAnswerAndEndTheProgram)
{
    std::optional<int> answer;
    const std::string help = Capture({"ostradivuvirar", "/music/a.ogg", "--help"}, answer);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(help.rfind("Usage: ostradivuvirar", 0), 0u) << help;
    EXPECT_NE(help.find("--version"), std::string::npos);
    EXPECT_EQ(Capture({"ostradivuvirar", "-h"}, answer), help);

    EXPECT_EQ(Capture({"ostradivuvirar", "--version"}, answer), std::string("ostradivuvirar ") + OSTRA_VERSION + "\n");
    EXPECT_EQ(answer, 0);
}

TEST(ProgramOptions, AnUnknownOptionEndsWithStatusTwoAndNamesGoOnToThePlayer)
{
    struct Case {
        std::vector<const char*> args;
        std::optional<int> answer;
        std::vector<std::string> names;
        bool newInstance;
    };
    const Case cases[] = {
        {{"ostradivuvirar"}, std::nullopt, {}, false},
        {{"ostradivuvirar", "a.ogg", "--new-instance", "./--help", "dir"}, std::nullopt, {"a.ogg", "./--help", "dir"}, true},
        {{"ostradivuvirar", "--bogus", "a.ogg"}, 2, {}, false},
        {{"ostradivuvirar", "-x"}, 2, {}, false},
        {{"ostradivuvirar", "--helpful"}, 2, {}, false},
        {{"ostradivuvirar", "--", "-x.ogg", "--help", "--", "--new-instance"}, std::nullopt,
         {"-x.ogg", "--help", "--", "--new-instance"}, false},
        {{"ostradivuvirar", "-platform", "offscreen", "-style=fusion", "-reverse", "-", "b.qv"}, std::nullopt,
         {"-platform", "offscreen", "-style=fusion", "-reverse", "-", "b.qv"}, false},
    };
    for (const Case& c : cases) {
        std::optional<int> answer = 7;
        const std::string text = Capture(c.args, answer);
        EXPECT_EQ(answer, c.answer) << c.args.back();
        if (c.answer == 2) {
            EXPECT_EQ(text.rfind(std::string("ostradivuvirar: unknown option '") + c.args[1] + "'\n", 0), 0u) << text;
            EXPECT_NE(text.find("--help"), std::string::npos) << text;
            continue;
        }
        EXPECT_EQ(text, "");
        // Qt's own options are Qt's to take out before the player reads its names.
        const std::vector<std::string> words(c.args.begin() + 1, c.args.end());
        EXPECT_EQ(ProgramOptions::Names(words), c.names);
        EXPECT_EQ(ProgramOptions::NewInstance(words), c.newInstance);
    }
}

}
