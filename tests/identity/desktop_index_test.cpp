// The index of desktop entries under folders any user may name: each folder
// read once, a cap per user, and refreshes shared in turn between users.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/linux/identity/desktop_index.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::identity {
namespace {

constexpr FileReader kAnn{65534, 65534};
constexpr FileReader kBob{65533, 65533};

class FolderFairness : public ::testing::Test {
protected:
    FolderFairness() { ::chmod(tree.root().c_str(), 0755); }
    // A data folder holding one application, `id`.desktop, of kEntryBytes.
    static constexpr std::size_t kEntryBytes = 100;
    DataFolder folder(const std::string& name, const std::optional<FileReader>& reader, const std::string& id) {
        std::string text = "[Desktop Entry]\nType=Application\nName=" + id + "\n#";
        tree.write(name + "/applications/" + id + ".desktop", text + std::string(kEntryBytes - text.size() - 1, 'x') + "\n");
        return {tree.path(name), reader};
    }
    bool knows(const DataFolder& dataFolder, const std::string& id) { return index.entryForAppID({dataFolder}, id).has_value(); }

    testing::FixtureTree tree;
    DesktopIndex index{ExecutableSearch({})};
};

TEST_F(FolderFairness, AFolderIsReadOnceWhateverNamesIt) {
    DataFolder real = folder("real", kAnn, "org.example.App");
    DataFolder linked{tree.symlink("linked", real.path), kAnn};
    EXPECT_TRUE(knows(real, "org.example.App"));
    EXPECT_TRUE(knows(linked, "org.example.App"));
    EXPECT_EQ(index.foldersRead(), 1u);
    // Entries are found under either name.
    EXPECT_EQ(index.appIDForEntryPath(linked.path + "/applications/org.example.App.desktop"), "org.example.App");
}

TEST_F(FolderFairness, AUserPastTheCapPushesNobodysFolderOut) {
    DataFolder bobs = folder("bob", kBob, "org.example.Bob");
    std::vector<DataFolder> anns;
    for (int i = 0; i < 20; ++i) anns.push_back(folder("ann" + std::to_string(i), kAnn, "org.example.Ann" + std::to_string(i)));
    ASSERT_TRUE(knows(bobs, "org.example.Bob"));
    int known = 0;
    for (int tick = 0; tick < 3; ++tick) {
        known = 0;
        for (const auto& ann : anns) known += knows(ann, "org.example.Ann" + std::to_string(&ann - anns.data())) ? 1 : 0;
        EXPECT_TRUE(knows(bobs, "org.example.Bob"));
    }
    EXPECT_EQ(known, static_cast<int>(DesktopIndex::kMaxFoldersPerUser));
    // Bob's folder was read once; Ann's beyond her share never.
    EXPECT_EQ(index.foldersRead(), 1 + DesktopIndex::kMaxFoldersPerUser);

    // Folders nobody names for two refreshes give way to a new one.
    index.refreshChanged(0);
    index.refreshChanged(0);
    EXPECT_TRUE(knows(anns.back(), "org.example.Ann19"));
}

TEST_F(FolderFairness, RefreshesShareTheirBudgetBetweenUsersInTurn) {
    std::vector<DataFolder> anns;
    for (int i = 0; i < 8; ++i) anns.push_back(folder("ann" + std::to_string(i), kAnn, "a" + std::to_string(i)));
    DataFolder bobs = folder("bob", kBob, "b");
    for (const auto& ann : anns) index.include({ann});
    index.include({bobs});
    std::size_t read = index.foldersRead();
    // Folders written a moment ago count as changed: every one is due again.
    auto bobChangedAt = index.lastChangeOf({bobs.path});
    index.refreshChanged(2 * kEntryBytes + kEntryBytes / 2);
    EXPECT_EQ(index.foldersRead() - read, 2u) << "one of Ann's, then Bob's, within the budget";
    EXPECT_GT(index.lastChangeOf({bobs.path}), bobChangedAt);
}

}  // namespace
}  // namespace korvane::identity
