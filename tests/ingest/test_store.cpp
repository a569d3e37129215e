// The store: favourites and playlists.
#include "frame/model.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class StoreTest : public KavoTest {
 protected:
  static const kavo::FavRec& fav(int i) { return kavo::s_favs.at(static_cast<std::size_t>(i)); }
  static const kavo::PlaylistRec& pl(int i) { return kavo::s_pls.at(static_cast<std::size_t>(i)); }
  static void load_one_each() {
    ASSERT_EQ(kavo_set_store(R"({"favourites":[{"token":"a"}],"playlists":[{"key":"p"}]})"), 0);
    ASSERT_EQ(kavo::n_favs(), 1);
    ASSERT_EQ(kavo::n_pls(), 1);
  }
};

TEST_F(StoreTest, NullAndEmptyObjectEmptyBothLists) {
  load_one_each();
  EXPECT_EQ(kavo_set_store(nullptr), 0);
  EXPECT_EQ(kavo::n_favs(), 0);
  EXPECT_EQ(kavo::n_pls(), 0);
  load_one_each();
  EXPECT_EQ(kavo_set_store("{}"), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo::n_favs(), 0);
  EXPECT_EQ(kavo::n_pls(), 0);
}

TEST_F(StoreTest, FailuresKeepTheLists) {
  load_one_each();
  EXPECT_EQ(kavo_set_store(""), 1);
  EXPECT_STREQ(kavo_last_error(), "store: not valid JSON");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo::n_favs(), 1);
  EXPECT_EQ(kavo::n_pls(), 1);
  EXPECT_EQ(kavo_set_store("[]"), 1);
  EXPECT_STREQ(kavo_last_error(), "store: root not object");
  EXPECT_EQ(kavo::n_favs(), 1);
  EXPECT_EQ(kavo::n_pls(), 1);
}

TEST_F(StoreTest, FavouriteFieldsAndSkippedElements) {
  ASSERT_EQ(kavo_set_store(R"({"favourites":[{"token":5,"Metadata":{"a":1},"DisplayName":"Five"},)"
                           R"({"metadata":"m"},7,{"Token":"t2","metadata":[1],"Metadata":"meta",)"
                           R"("display":true},{"token":null,"Token":"t3"}]})"),
            0);
  ASSERT_EQ(kavo::n_favs(), 3);
  EXPECT_EQ(str(fav(0).token.get()), "5");
  EXPECT_EQ(fav(0).metadata.get(), nullptr);
  EXPECT_EQ(str(fav(0).display_name.get()), "Five");
  EXPECT_EQ(str(fav(1).token.get()), "t2");
  EXPECT_EQ(str(fav(1).metadata.get()), "meta");
  EXPECT_EQ(str(fav(1).display_name.get()), "true");
  EXPECT_EQ(str(fav(2).token.get()), "t3");
  EXPECT_EQ(kavo::s_rejected, 0);
}

TEST_F(StoreTest, FavouritesSpellings) {
  // A present "favourites" of the wrong type hides "favorites".
  ASSERT_EQ(kavo_set_store(R"({"favourites":"x","favorites":[{"token":"a"}]})"), 0);
  EXPECT_EQ(kavo::n_favs(), 0);
  ASSERT_EQ(kavo_set_store(R"({"Favorites":[{"token":"a"},{"token":"b"}]})"), 0);
  ASSERT_EQ(kavo::n_favs(), 2);
  EXPECT_EQ(str(fav(1).token.get()), "b");
  ASSERT_EQ(kavo_set_store(R"({"FAVOURITES":[{"token":"c"}],"favorites":[{"token":"d"}]})"), 0);
  ASSERT_EQ(kavo::n_favs(), 1);
  EXPECT_EQ(str(fav(0).token.get()), "c");
}

TEST_F(StoreTest, TextsOfOtherTypesAndKeysInOtherCase) {
  ASSERT_EQ(kavo_set_store(R"({"Favourites":[{"token":"","METADATA":1.5,"display":false},)"
                           R"({"TOKEN":true,"metadata":null,"Metadata":"m","DISPLAY_NAME":0.1}],)"
                           R"("PLAYLISTS":[{"KEY":"k","NAME":null,"name":"n","IDS":"a,b","Value":"c"},)"
                           R"({"key":null},{"Key":"v","value":"tt5"}]})"),
            0);
  ASSERT_EQ(kavo::n_favs(), 2);
  EXPECT_EQ(str(fav(0).token.get()), "");  // an empty text is still a token
  EXPECT_EQ(str(fav(0).metadata.get()), "1.5");
  EXPECT_EQ(str(fav(0).display_name.get()), "false");
  EXPECT_EQ(str(fav(1).token.get()), "true");
  EXPECT_EQ(str(fav(1).metadata.get()), "m");
  EXPECT_EQ(str(fav(1).display_name.get()), "0.10000000000000001");
  ASSERT_EQ(kavo::n_pls(), 2);
  EXPECT_EQ(str(pl(0).key.get()), "k");
  EXPECT_EQ(str(pl(0).name.get()), "n");
  EXPECT_EQ(str(pl(0).imdbids.get()), "a,b");
  EXPECT_EQ(str(pl(1).imdbids.get()), "tt5");
}

TEST_F(StoreTest, PlaylistFieldsAndIds) {
  ASSERT_EQ(kavo_set_store(R"({"playlists":[{"key":"k1","Name":"One","imdbids":["tt1"],)"
                           R"("Value":"tt1,tt2"},{"name":"no key"},{"Key":2,"ids":["tt3"]},)"
                           R"({"key":"k3","ids":"tt4"}]})"),
            0);
  ASSERT_EQ(kavo::n_pls(), 3);
  EXPECT_EQ(str(pl(0).key.get()), "k1");
  EXPECT_EQ(str(pl(0).name.get()), "One");
  EXPECT_EQ(str(pl(0).imdbids.get()), "tt1,tt2");
  EXPECT_EQ(str(pl(1).key.get()), "2");
  EXPECT_EQ(pl(1).imdbids.get(), nullptr);
  EXPECT_EQ(str(pl(2).imdbids.get()), "tt4");
  // Playlists that are no array mean none; the favourites are independent.
  ASSERT_EQ(kavo_set_store(R"({"playlists":{"key":"k"},"favourites":[{"token":"a"}]})"), 0);
  EXPECT_EQ(kavo::n_pls(), 0);
  EXPECT_EQ(kavo::n_favs(), 1);
}

}  // namespace
