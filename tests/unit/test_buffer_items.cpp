#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "devlib/orvlib_gendata.h"

using namespace VazidaRaduru;

namespace {

int destroyed = 0;

struct CountedBuffer : OrvBuffer {
  CountedBuffer() : OrvBuffer(16, ORV_LITTLE_ENDIAN) {}
  ~CountedBuffer() override { ++destroyed; }
};

TEST(ResultContainer, OwnsItsBuffersAndDeletesThemOnce) {
  destroyed = 0;
  {
    OrvDevGenData<_OrvDataItem> data;
    for (int i = 0; i < 3; ++i) data.addBuffer(new CountedBuffer);
    data.addBuffer(new OrvLogBuffer(8, ORV_LITTLE_ENDIAN, 1, 0, "Error Information"));
  }
  EXPECT_EQ(destroyed, 3);

  destroyed = 0;
  OrvDevGenData<_OrvDataItem> data;
  data.addBuffer(new CountedBuffer);
  data.addItem(_OrvDataItem("Critical Warning", 1, 1, 0));
  data.clear();
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(data.items.empty() && data.buffers.empty());
  data.clear();
  EXPECT_EQ(destroyed, 1) << "a second clear deletes nothing";
  data.addBuffer(new CountedBuffer);  // filled again, freed by the destructor
}

TEST(ResultContainer, MovingHandsTheBuffersOver) {
  destroyed = 0;
  auto source = std::make_unique<OrvDevGenData<_OrvNvmNsItem>>();
  auto* identify = new OrvBuffer(4096, ORV_LITTLE_ENDIAN);
  identify->setDWord(0xA5A5A5A5u);
  source->addBuffer(identify);
  source->addBuffer(new CountedBuffer);
  source->addItem({1, {0, 1}});
  OrvDevGenData<_OrvNvmNsItem> moved(std::move(*source));
  source.reset();
  EXPECT_EQ(destroyed, 0);
  ASSERT_EQ(moved.buffers.size(), 2u);
  EXPECT_EQ(moved.buffers[0]->dword(4092, 0, 32).getValue(), 0xA5A5A5A5u);
  EXPECT_EQ(moved.items[0].controllerIds.size(), 2u);

  OrvDevGenData<_OrvNvmNsItem> target;
  target.addBuffer(new CountedBuffer);
  target = std::move(moved);
  EXPECT_EQ(destroyed, 1) << "the target's own buffers are deleted";
  EXPECT_EQ(target.buffers.size(), 2u);
  EXPECT_TRUE(moved.buffers.empty());
}

TEST(DataItem, NumbersTextsAndFlags) {
  _OrvDataItem number("Composite Temperature", 310, 4, 9);
  EXPECT_TRUE(number.id == 4 && number.kind == ORV_ITEM_NUMBER && number.value == 310 && number.flag == 9);

  _OrvDataItem text("Model", std::string("MODEL C"));
  _OrvDataItem chars("Serial", "S4");
  for (const _OrvDataItem* item : {&text, &chars})
    EXPECT_TRUE(item->kind == ORV_ITEM_TEXT && item->id == 0 && item->value == 0 && item->flag == 0);
  EXPECT_EQ(text.text, "MODEL C");
  EXPECT_EQ(chars.text, "S4");
}

TEST(DataItem, FromViewsAndFields) {
  u8 bytes[12] = {0x20, 0xB7, 0, 0, 'A', 'B', 0, 0, 0, 0, 0, 0};
  OrvBufField flag(bytes, 0, 5, 5, "Cache supported", ORV_LITTLE_ENDIAN);
  _OrvDataItem fromFlag(flag);
  EXPECT_TRUE(fromFlag.kind == ORV_ITEM_FLAG && fromFlag.value == 1 && fromFlag.name == "Cache supported");
  bytes[0] = 0;
  EXPECT_EQ(_OrvDataItem(flag).value, 0u);

  _OrvDataItem fromByte(OrvByteField(bytes, 1, "Error log page entries (ELPE)"));
  EXPECT_TRUE(fromByte.kind == ORV_ITEM_NUMBER && fromByte.value == 0xB7 && fromByte.flag == 0);

  OrvBufBits bit(bytes, 1, 2, 2, ORV_LITTLE_ENDIAN);
  _OrvDataItem fromBit("Firmware active without reset", bit, 77, 3);
  EXPECT_TRUE(fromBit.kind == ORV_ITEM_FLAG && fromBit.value == 1);
  EXPECT_EQ(fromBit.flag, 3) << "the last argument is the flag";
  EXPECT_EQ(fromBit.id, 0u) << "the third argument is not used";
  _OrvDataItem fromBits("Number of firmware slots", OrvBufBits(bytes, 1, 1, 3, ORV_LITTLE_ENDIAN), 0, 0);
  EXPECT_TRUE(fromBits.kind == ORV_ITEM_NUMBER && fromBits.value == 3);

  _OrvDataItem fromText(OrvBufAscFld(bytes, 4, 8, "Firmware revision (FR)", ORV_LITTLE_ENDIAN));
  EXPECT_TRUE(fromText.kind == ORV_ITEM_TEXT && fromText.text == "AB" && fromText.value == 0);
  EXPECT_EQ(fromText.name, "Firmware revision (FR)");
}

// A data-structure class as the command sets write them: fields over its own
// bytes, rebuilt over the copy's bytes when copied.
class Record : public OrvBuffer {
 public:
  Record() : OrvBuffer(16, ORV_BIG_ENDIAN), fields(getBuffer()) {}
  Record(const Record& src) : OrvBuffer(src), fields(getBuffer()) {}

  void collectFields(OrvDevGenData<_OrvDataItem>& data) {
    data.addItem(fields.count);
    data.addItem(fields.ready);
    data.addItem(fields.model);
  }

  struct Fields {
    explicit Fields(u8* bytes)
        : count(bytes, 0, "Count", ORV_BIG_ENDIAN),
          ready(bytes, 4, 0, 0, "Ready", ORV_BIG_ENDIAN),
          model(bytes, 8, 8, "Model", ORV_BIG_ENDIAN) {}
    OrvDwordField count;
    OrvBufField ready;
    OrvBufAscFld model;
  } fields;
};

TEST(DataItem, ACopiedRecordReadsItsOwnBytesAfterTheSourceIsGone) {
  auto source = std::make_unique<Record>();
  source->fields.count.setValue(0x01020304);
  source->fields.ready.setValue(1);
  source->fields.model.setValue("MODEL C");
  Record copy(*source);
  source.reset();

  OrvDevGenData<_OrvDataItem> data;
  copy.collectFields(data);
  ASSERT_EQ(data.items.size(), 3u);
  EXPECT_EQ(data.items[0].value, 0x01020304u);
  EXPECT_TRUE(data.items[1].kind == ORV_ITEM_FLAG && data.items[1].value == 1);
  EXPECT_EQ(data.items[2].text, "MODEL C");
}

}  // namespace
