#include <gtest/gtest.h>

#include "osl/orv_status.h"
#include "osl/osl_mutex.h"
#include "unit/status_check.h"

namespace {

void expectMutexWord(u64 word) { expectOslWord(word, kMutexFile, 1); }

TEST(ProcessMutex, NoneUntilCreated) {
  expectMutexWord(osl_mutex_lock());
  expectMutexWord(osl_mutex_unlock());
  expectMutexWord(osl_mutex_error_status());
}

TEST(ProcessMutex, RecursiveForItsOwner) {
  ASSERT_EQ(osl_mutex_create(), 0u);
  EXPECT_EQ(osl_mutex_lock(), 0u);
  EXPECT_EQ(osl_mutex_lock(), 0u);
  EXPECT_EQ(osl_mutex_unlock(), 0u);
  EXPECT_EQ(osl_mutex_unlock(), 0u);
  expectMutexWord(osl_mutex_unlock());  // not held any more
  osl_mutex_close();
  expectMutexWord(osl_mutex_lock());
}

}  // namespace
