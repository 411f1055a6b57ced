// Several data sources on one table: each gets every notification while it is bound, and none
// once it was unbound or destroyed in the middle of one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::DefineBouquet;
using testing::Recorder;

TEST(SeveralSources, ASourceUnboundOrDestroyedDuringANotificationGetsNoMoreOfIt) {
  MemTable t("Bouquet");
  DefineBouquet(t);
  t.Open();
  for (const char* name : {"a", "b", "c"}) {
    t.Append();
    t.FieldNamed("Bouquet").SetAsString(name);
    t.Post();
  }
  t.First();
  std::vector<std::string> trace;
  DataSource first("first", &t);
  DataSource second("second", &t);
  auto third = std::make_unique<DataSource>("third", &t);
  Recorder r1(trace, "1"), r2(trace, "2"), r3(trace, "3");
  first.Attach(r1);
  second.Attach(r2);
  third->Attach(r3);
  t.Next();
  // The first source's handler takes the other two away while the table notifies.
  first.OnDataChange = [&](DataSource&, Field*) {
    second.SetDataSet(nullptr);
    third.reset();
  };
  t.Next();
  first.OnDataChange = nullptr;
  t.First();
  EXPECT_EQ(trace, (std::vector<std::string>{
                       "1:endpending", "2:endpending", "3:endpending",  // the first Next
                       "1:scroll", "2:scroll", "3:scroll",              //
                       "1:endpending", "2:endpending", "3:endpending",  // the second Next
                       "1:scroll", "2:state 0", "3:state 0",            // taken away
                       "1:endpending", "1:dataset"}));                  // First
}

}  // namespace
}  // namespace tivolo::store
