#include "oauth/env_file.h"

#include <gtest/gtest.h>

namespace {

TEST(EnvFile, SetReplacesInPlaceDropsDuplicatesKeepsTheRest) {
  struct set_case {
    const char* name;
    const char* before;
    const char* after;
  };
  const set_case cases[] = {
      {"empty file", "", "GOOGLE_ACCOUNT=new@x\n"},
      {"no such key", "# note\nOTHER=1", "# note\nOTHER=1\nGOOGLE_ACCOUNT=new@x\n"},
      {"in place", "A=1\nGOOGLE_ACCOUNT=old@x\nB=2\n", "A=1\nGOOGLE_ACCOUNT=new@x\nB=2\n"},
      {"duplicates dropped", "GOOGLE_ACCOUNT=\nA=1\nGOOGLE_ACCOUNT=old@x\n",
       "GOOGLE_ACCOUNT=new@x\nA=1\n"},
      {"longer key kept", "GOOGLE_ACCOUNT_X=1\n", "GOOGLE_ACCOUNT_X=1\nGOOGLE_ACCOUNT=new@x\n"},
      {"blank lines and CR kept", "A=1\r\n\nB=2\n", "A=1\r\n\nB=2\nGOOGLE_ACCOUNT=new@x\n"},
  };
  for (const set_case& c : cases) {
    EXPECT_EQ(env_text_set(c.before, "GOOGLE_ACCOUNT", "new@x"), c.after) << c.name;
  }
  EXPECT_EQ(env_text_set("", "K", "a\nINJECTED=1"), "K=a\n");
}

TEST(EnvFile, UnsetDropsEveryLineOfTheKeyOnly) {
  EXPECT_EQ(env_text_unset("GOOGLE_ACCOUNT=a@x\nA=1\nGOOGLE_ACCOUNT=\n", "GOOGLE_ACCOUNT"),
            "A=1\n");
  EXPECT_EQ(env_text_unset("GOOGLE_ACCOUNT_X=1\n# GOOGLE_ACCOUNT=b\n", "GOOGLE_ACCOUNT"),
            "GOOGLE_ACCOUNT_X=1\n# GOOGLE_ACCOUNT=b\n");
  EXPECT_EQ(env_text_unset("GOOGLE_ACCOUNT=a@x", "GOOGLE_ACCOUNT"), "");
}

TEST(EnvFile, FirstNonEmptyValueWins) {
  EXPECT_EQ(
      env_text_value("GOOGLE_PROJECT_ID=\r\nGOOGLE_PROJECT_ID=p-1 \r\nGOOGLE_PROJECT_ID=p-2\n",
                     "GOOGLE_PROJECT_ID"),
      "p-1");
  EXPECT_EQ(env_text_value("GOOGLE_PROJECT_ID_OLD=p\n", "GOOGLE_PROJECT_ID"), "");
}

}  // namespace
