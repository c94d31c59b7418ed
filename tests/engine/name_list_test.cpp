// The compact name list gives every name back exactly, by index and in order, whatever it shares with its
// neighbours and wherever its text falls in the list's blocks.
#include "engine/name_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> SampleNames() {
    std::vector<std::string> names = {"", "/a", "/a", "/a/b", "/", "/a/bc", "/x/ä/ü.txt", ""};
    for (int i = 0; i < 2000; ++i)
        names.push_back("/home/user/photos/2024/p" + std::to_string(i / 100) + "/IMG_" + std::to_string(i) +
                        ".jpg");
    // Longer than a block, and names around it that share much or nothing with it.
    names.push_back(std::string(70000, 'q'));
    names.push_back(std::string(70000, 'q') + "r");
    names.push_back("z");
    for (int i = 0; i < 40; ++i)
        names.push_back(std::string(5000, 'm') + std::to_string(i));
    return names;
}

} // namespace

TEST(NameList, GivesEveryNameBackByIndexAndInOrder) {
    const std::vector<std::string> names = SampleNames();
    TNameList list;
    for (const std::string& name : names)
        list.Append(name);
    ASSERT_EQ(list.Size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(list.At(i), names[i]) << i;
    std::size_t read = 0;
    for (TNameList::TReader reader(list); reader.Next(); ++read)
        ASSERT_EQ(reader.Name(), names[read]) << read;
    EXPECT_EQ(read, names.size());

    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_FALSE(TNameList::TReader(list).Next());
    list.Append("again/a");
    list.Append("again/b");
    EXPECT_EQ(list.At(0), "again/a");
    EXPECT_EQ(list.At(1), "again/b");
}
