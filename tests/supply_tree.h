// Power_supply trees written into a temporary folder, which the Linux
// platform reads instead of /sys/class/power_supply for the test's length.
#ifndef AMBREL_TESTS_SUPPLY_TREE_H
#define AMBREL_TESTS_SUPPLY_TREE_H

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform_linux.h"

class power_supply_tree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ambrel-supplies-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        linux_platform_set_root(root_.c_str());
    }
    void TearDown() override
    {
        linux_platform_set_root("/sys/class/power_supply");
        std::string command = "rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    void supply(const std::string &name, const std::string &uevent)
    {
        std::string folder = root_ + "/" + name;
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        std::ofstream(folder + "/uevent", std::ios::binary) << uevent;
    }
    std::string root_;
};

// text with its first occurrence of from replaced by to.
inline std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

#endif
