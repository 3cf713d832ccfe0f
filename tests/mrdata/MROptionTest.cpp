#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "MROption.h"

namespace {

TEST(MROption, FieldSizesAndOrderMatchTheProfileFile)
{
    // The profile file stores the fields in declaration order; these sizes
    // decide how much text each string item may carry.
    EXPECT_EQ(sizeof(MROption::szName), 256u);
    EXPECT_EQ(sizeof(MROption::szOutputFile), 260u);
    EXPECT_EQ(sizeof(MROption::szTitle), 256u);
    EXPECT_EQ(sizeof(MROption::szAuthor), 128u);
    EXPECT_EQ(sizeof(MROption::szCopyright), 256u);
    EXPECT_EQ(sizeof(MROption::szDescription), 1025u);
    EXPECT_EQ(sizeof(MROption::nReserved), 24u);
    EXPECT_EQ(sizeof(MROption::szReserved), 192u);
    EXPECT_EQ(sizeof(MROption::bLimitSize), 1u);
    EXPECT_EQ(sizeof(MROption::bWideAspect), 4u);
    EXPECT_LT(offsetof(MROption, szName), offsetof(MROption, szOutputFile));
    EXPECT_LT(offsetof(MROption, szOutputFile), offsetof(MROption, nResolution));
    EXPECT_LT(offsetof(MROption, bWideAspect), offsetof(MROption, bLimitSize));
    EXPECT_LT(offsetof(MROption, bLimitSize), offsetof(MROption, nCardSize));
    EXPECT_LT(offsetof(MROption, nCardSize), offsetof(MROption, bCrop));
    EXPECT_LT(offsetof(MROption, nCropBottom), offsetof(MROption, bOptimize));
    EXPECT_LT(offsetof(MROption, bSpeech), offsetof(MROption, szTitle));
    EXPECT_LT(offsetof(MROption, szDescription), offsetof(MROption, nReserved));
    EXPECT_LT(offsetof(MROption, nReserved), offsetof(MROption, szReserved));
}

TEST(MROption, CreatedZeroFilledAndCopiedWhole)
{
    MROption a = MakeOption();
    const auto* bytes = reinterpret_cast<const unsigned char*>(&a);
    for (std::size_t i = 0; i < sizeof a; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    a.nResolution = 3;
    a.szReserved[5][0] = 'r';
    a.szDescription[1023] = 'd';
    MROption b = MakeOption();
    CopyOption(&b, &a);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(MROption, QualityStartsAtMedium) { EXPECT_EQ(nQuality, 2); }

TEST(OptionRules, ResolutionKindToEngineCode)
{
    EXPECT_EQ(mr::ResolutionCode(0), 1000);
    EXPECT_EQ(mr::ResolutionCode(1), 1001);
    EXPECT_EQ(mr::ResolutionCode(2), 1001);  // custom converts like wide screen
    EXPECT_EQ(mr::ResolutionCode(3), 1002);
    EXPECT_EQ(mr::ResolutionCode(-1), 1001);
    EXPECT_EQ(mr::ResolutionCode(4), 1001);
}

TEST(OptionRules, CardSizeToByteLimit)
{
    EXPECT_EQ(mr::CardSizeBytes(0), 134217728);
    EXPECT_EQ(mr::CardSizeBytes(1), 268435456);
    EXPECT_EQ(mr::CardSizeBytes(2), 536870912);
    EXPECT_EQ(mr::CardSizeBytes(7), 536870912);
    EXPECT_EQ(mr::CardSizeBytes(-1), 536870912);
}

TEST(OptionRules, QualityShownAndCollected)
{
    EXPECT_EQ(mr::QualityShown(1), 1);
    EXPECT_EQ(mr::QualityShown(3), 3);
    for (int q : {0, 2, 4, -1})
        EXPECT_EQ(mr::QualityShown(q), 2) << q;
    EXPECT_EQ(mr::QualityCollected(true, true), 1);
    EXPECT_EQ(mr::QualityCollected(false, true), 3);
    EXPECT_EQ(mr::QualityCollected(false, false), 2);
}

}  // namespace
