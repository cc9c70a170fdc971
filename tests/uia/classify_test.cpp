// Classification of single elements and the Play pick, driven with plain
// values. Elements come from the UIA double only so that references can be
// counted; nothing is installed as `automation`.
#include "app/settings.h"
#include "support/uia_double.h"
#include "uia/classify.h"
#include "uia/enumerate.h"

#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <string>

namespace {

const RECT window_rect = {0, 0, 1000, 700};  // centre line 350
const int Button = UIA_ButtonControlTypeId;
const int Hyperlink = UIA_HyperlinkControlTypeId;
const int ListItem = UIA_ListItemControlTypeId;
const int TabItem = UIA_TabItemControlTypeId;
const int Text = UIA_TextControlTypeId;
const int Group = UIA_GroupControlTypeId;

class ClassifyTest : public ::testing::Test {
protected:
    UiaDouble d;
    UiScan scan;
    wchar_t saved_pattern[SETTING_TEXT_CAPACITY];

    void SetUp() override
    {
        memset(&scan, 0, sizeof scan);
        wcscpy(saved_pattern, profile_pattern);
        wcscpy(profile_pattern, L"kestrov v6");
    }
    void TearDown() override
    {
        release_scan(&scan);
        wcscpy(profile_pattern, saved_pattern);
        EXPECT_EQ(d.live_objects, 0) << "a reference was kept after release_scan";
        EXPECT_EQ(d.over_releases, 0);
    }

    // Classifies one element as the enumeration would: it holds the element
    // only for the call.
    int classify(const wchar_t* name, int control_type, RECT rect, BOOL enabled = TRUE,
                 BOOL offscreen = FALSE)
    {
        int node = add_node(d, UIA_WINDOW_NODE, name, control_type, rect);
        IUIAutomationElement* element = make_element(d, node);
        classify_element(&scan, element, name, control_type, rect, enabled, offscreen,
                         window_rect);
        element->Release();
        return node;
    }
};

struct GateCase {
    const char* what;
    const wchar_t* name;
    RECT rect;
    BOOL offscreen;
    int kept;
};

TEST_F(ClassifyTest, SizeOffscreenAndNameGates)
{
    const GateCase cases[] = {
        {"3 by 3 passes", L"Play", {10, 10, 13, 13}, FALSE, 1},
        {"2 wide", L"Play", {10, 10, 12, 50}, FALSE, 0},
        {"2 high", L"Play", {10, 10, 50, 12}, FALSE, 0},
        {"negative width", L"Play", {50, 10, 10, 50}, FALSE, 0},
        {"offscreen", L"Play", {10, 10, 110, 50}, TRUE, 0},
        {"null name", nullptr, {10, 10, 110, 50}, FALSE, 0},
        {"empty name", L"", {10, 10, 110, 50}, FALSE, 0},
        {"only decoration", L"\u25B6 \u2022 !", {10, 10, 110, 50}, FALSE, 0},
        {"decorated caption", L"\u25B6  PLAY!", {10, 10, 110, 50}, FALSE, 1},
        {"extreme rectangle", L"Play", {-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647},
         FALSE, 1},
        // Wholly outside the window (0,0)-(1000,700) is offscreen, whatever
        // the client says; touching it by one pixel is not.
        {"below the window", L"Play", {10, 700, 110, 750}, FALSE, 0},
        {"right of the window", L"Play", {1000, 10, 1100, 50}, FALSE, 0},
        {"above the window", L"Play", {10, -50, 110, 0}, FALSE, 0},
        {"one pixel inside", L"Play", {10, 699, 110, 750}, FALSE, 1},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.what);
        classify(c.name, Button, c.rect, TRUE, c.offscreen);
        EXPECT_EQ(scan.play_count, c.kept);
        EXPECT_EQ(scan.disabled_plays, 0);
        EXPECT_EQ(scan.profile_count, 0);
        release_scan(&scan);
    }
}

TEST_F(ClassifyTest, GatedElementRecordsNothingAnywhere)
{
    wcscpy(profile_pattern, L"");
    classify(L"Close", Button, {0, 0, 2, 50});
    classify(L"Play", Button, {0, 0, 100, 40}, FALSE, TRUE);
    UiScan zero;
    memset(&zero, 0, sizeof zero);
    zero.content_count = 2;  // served, so the page has content: no more
    EXPECT_EQ(memcmp(&scan, &zero, sizeof scan), 0);
}

struct ScoreCase {
    const char* what;
    int control_type;
    RECT rect;
    double score;
};

TEST_F(ClassifyTest, PlayScores)
{
    const ScoreCase cases[] = {
        {"button below the centre line", Button, {100, 500, 200, 540}, 32000},
        {"button on the centre line", Button, {100, 330, 200, 370}, 16000},
        {"button one below the centre line", Button, {100, 331, 200, 371}, 32000},
        {"button above", Button, {100, 100, 200, 140}, 16000},
        {"hyperlink below", Hyperlink, {100, 500, 200, 540}, 16000},
        {"enabled text below", Text, {100, 500, 200, 540}, 8000},
        {"list item above", ListItem, {100, 100, 200, 140}, 4000},
    };
    for (const ScoreCase& c : cases) {
        SCOPED_TRACE(c.what);
        classify(L"Play", c.control_type, c.rect);
        ASSERT_EQ(scan.play_count, 1);
        EXPECT_EQ(scan.play_scores[0], c.score);
        EXPECT_EQ(scan.plays[0].control_type, c.control_type);
        EXPECT_EQ(scan.plays[0].rect.top, c.rect.top);
        release_scan(&scan);
    }
}

TEST_F(ClassifyTest, DisabledPlaysAreCountedNotKept)
{
    classify(L"Play", Button, {0, 500, 100, 540}, FALSE);
    classify(L"Jouer", Text, {0, 500, 100, 540}, FALSE);
    EXPECT_EQ(scan.play_count, 0);
    EXPECT_EQ(scan.disabled_plays, 2);
}

TEST_F(ClassifyTest, PlayTabKeepsTheFirstTabItemEnabledOrNot)
{
    int first = classify(L"Play", TabItem, {0, 0, 80, 30}, FALSE);
    classify(L"PLAY", TabItem, {100, 0, 180, 30});
    EXPECT_EQ(uia_node_of(scan.play_tab.element), first);
    EXPECT_STREQ(scan.play_tab.name, L"Play");
    EXPECT_EQ(scan.play_count, 0);
    EXPECT_EQ(scan.disabled_plays, 0);
}

TEST_F(ClassifyTest, FullCandidateListDropsEqualScoresAndReplacesTheFirstLowest)
{
    int nodes[MAX_PLAYS];
    for (int i = 0; i < MAX_PLAYS; i++)
        nodes[i] = classify(L"Play", Text, {0, 0, 10, 10});  // score 100 each
    ASSERT_EQ(scan.play_count, MAX_PLAYS);

    int equal = classify(L"Play", Text, {0, 0, 10, 10});
    EXPECT_EQ(scan.play_count, MAX_PLAYS);
    for (int i = 0; i < MAX_PLAYS; i++)
        EXPECT_NE(uia_node_of(scan.plays[i].element), equal);
    EXPECT_EQ(d.live_objects, MAX_PLAYS) << "the dropped element must not be held";

    int higher = classify(L"Play", Text, {0, 0, 10, 11});  // 110
    EXPECT_EQ(uia_node_of(scan.plays[0].element), higher);
    EXPECT_EQ(scan.play_scores[0], 110);
    EXPECT_EQ(uia_node_of(scan.plays[1].element), nodes[1]);
    EXPECT_EQ(d.live_objects, MAX_PLAYS) << "the replaced element must be released";

    // Now the lowest are indices 1 to 23: the next higher one takes index 1.
    int next = classify(L"Play", Text, {0, 0, 10, 12});
    EXPECT_EQ(uia_node_of(scan.plays[1].element), next);
    EXPECT_EQ(uia_node_of(scan.plays[0].element), higher);
    EXPECT_EQ(scan.play_count, MAX_PLAYS);
}

TEST_F(ClassifyTest, ProfileNameIsASubstringOfTheNormalForm)
{
    classify(L"  KESTROV   V6 \u2014 modded", Text, {0, 0, 100, 20});
    classify(L"Kestrov", Text, {0, 30, 100, 50});
    ASSERT_EQ(scan.profile_count, 1);
    EXPECT_EQ(scan.profile_rects[0].top, 0);
}

TEST_F(ClassifyTest, EmptyProfilePatternMatchesEveryNamedElementUpTo16)
{
    wcscpy(profile_pattern, L"");
    for (int i = 0; i < 20; i++)
        classify(L"anything", Group, {0, i * 10, 100, i * 10 + 8});
    EXPECT_EQ(scan.profile_count, MAX_PROFILE_RECTS);
    EXPECT_EQ(scan.profile_rects[15].top, 150);
}

TEST_F(ClassifyTest, SignInCaptionsCountOnAnythingButText)
{
    classify(L"Sign in", Button, {0, 0, 100, 30});
    classify(L"Anmelden", Hyperlink, {0, 0, 100, 30}, FALSE);
    classify(L"Log in", Text, {0, 0, 100, 30});
    classify(L"Sign in to play", Button, {0, 0, 100, 30});
    EXPECT_EQ(scan.login_count, 2);
}

TEST_F(ClassifyTest, StorePopupNeedsOneOfTheFurtherWords)
{
    classify(L"Microsoft Store", Text, {0, 0, 100, 30});
    EXPECT_EQ(scan.store_count, 0);
    classify(L"You're signed in to the Microsoft Store", Text, {5, 5, 100, 30});
    classify(L"Microsoft Store account doesn't match", Text, {9, 9, 100, 30});
    EXPECT_EQ(scan.store_count, 2);
    EXPECT_EQ(scan.store_rect.left, 5);
}

struct DismissCase {
    const char* what;
    int control_type;
    BOOL enabled;
    int kept;
};

TEST_F(ClassifyTest, DismissButtonsByControlTypeAndState)
{
    const DismissCase cases[] = {
        {"enabled button", Button, TRUE, 1},
        {"disabled button", Button, FALSE, 0},
        {"enabled hyperlink", Hyperlink, TRUE, 1},
        {"enabled text", Text, TRUE, 0},
        {"enabled tab item", TabItem, TRUE, 0},
    };
    for (const DismissCase& c : cases) {
        SCOPED_TRACE(c.what);
        int node = classify(L"Not now", c.control_type, {0, 0, 100, 30}, c.enabled);
        ASSERT_EQ(scan.dismiss_count, c.kept);
        if (c.kept) {
            EXPECT_EQ(uia_node_of(scan.dismiss[0].element), node);
        }
        release_scan(&scan);
    }
}

TEST_F(ClassifyTest, NinthDismissButtonIsNeitherStoredNorCounted)
{
    for (int i = 0; i < 9; i++)
        classify(L"OK", Button, {0, 0, 100, 30});
    EXPECT_EQ(scan.dismiss_count, MAX_DISMISS);
    EXPECT_EQ(d.live_objects, MAX_DISMISS);
}

TEST_F(ClassifyTest, JavaEntryKeepsTheFirstOfAnAcceptedType)
{
    classify(L"Minecraft: Java Edition", Text, {0, 0, 100, 30});
    EXPECT_EQ(scan.java_tab.element, nullptr);
    int first = classify(L"Minecraft: Java Edition", ListItem, {0, 40, 100, 70}, FALSE);
    classify(L"Java Edition", Button, {0, 80, 100, 110});
    EXPECT_EQ(uia_node_of(scan.java_tab.element), first);
    EXPECT_EQ(scan.java_tab.rect.top, 40);
}

TEST_F(ClassifyTest, OneElementUnderSeveralHeadings)
{
    wcscpy(profile_pattern, L"");
    classify(L"Play", Button, {0, 500, 100, 540});
    EXPECT_EQ(scan.play_count, 1);
    EXPECT_EQ(scan.profile_count, 1);
}

TEST_F(ClassifyTest, StoreSlotCutsTheNameAndSwapsReferences)
{
    ElementSlot slot;
    memset(&slot, 0, sizeof slot);
    IUIAutomationElement* first = make_element(d, UIA_WINDOW_NODE);
    IUIAutomationElement* second = make_element(d, UIA_WINDOW_NODE);
    std::wstring long_name(200, L'a');
    store_slot(&slot, first, {1, 2, 3, 4}, Button, long_name.c_str());
    EXPECT_EQ(wcslen(slot.name), 95u);
    EXPECT_EQ(d.outstanding_refs, 3);

    store_slot(&slot, second, {5, 6, 7, 8}, Text, nullptr);
    EXPECT_EQ(slot.element, second);
    EXPECT_EQ(slot.control_type, Text);
    EXPECT_EQ(slot.rect.left, 5);
    for (int i = 0; i < SLOT_NAME_CAPACITY; i++)
        EXPECT_EQ(slot.name[i], 0) << "unit " << i;

    store_slot(&slot, second, {5, 6, 7, 8}, Text, L"again");  // over itself
    first->Release();
    second->Release();
    EXPECT_EQ(d.outstanding_refs, 1);
    slot.element->Release();
    EXPECT_EQ(d.live_objects, 0);
    EXPECT_EQ(d.over_releases, 0);
}

// choose_play over hand-made records: no elements are needed to pick.
UiScan candidates(std::initializer_list<std::pair<RECT, double>> plays,
                  std::initializer_list<RECT> profiles)
{
    UiScan s;
    memset(&s, 0, sizeof s);
    for (const auto& play : plays) {
        s.plays[s.play_count].rect = play.first;
        s.play_scores[s.play_count++] = play.second;
    }
    for (const RECT& profile : profiles)
        s.profile_rects[s.profile_count++] = profile;
    return s;
}

struct BesideCase {
    int profile_centre;
    int beside;
};

TEST(ChoosePlay, BesideWindowIsOneCandidateHeightEitherWay)
{
    const BesideCase cases[] = {{459, 0}, {460, 1}, {520, 1}, {580, 1}, {581, 0}};
    for (const BesideCase& c : cases) {
        SCOPED_TRACE(c.profile_centre);
        // Profile far to the left: horizontal positions do not matter.
        UiScan s = candidates({{{5000, 100, 5100, 140}, 99999}, {{400, 500, 700, 540}, 10}},
                              {{-900, c.profile_centre - 10, -800, c.profile_centre + 10}});
        int beside = -7;
        EXPECT_EQ(choose_play(&s, &beside), c.beside ? 1 : 0);
        EXPECT_EQ(beside, c.beside);
    }
}

TEST(ChoosePlay, NoneBesideGivesTheBestOverall)
{
    UiScan s = candidates({{{0, 0, 10, 10}, 5}, {{0, 0, 10, 10}, 50}, {{0, 0, 10, 10}, 7}}, {});
    int beside = -7;
    EXPECT_EQ(choose_play(&s, &beside), 1);
    EXPECT_EQ(beside, 0);
}

TEST(ChoosePlay, NoCandidates)
{
    UiScan s = candidates({}, {{0, 0, 10, 10}});
    int beside = -7;
    EXPECT_EQ(choose_play(&s, &beside), -1);
    EXPECT_EQ(beside, 0);
}

TEST(ChoosePlay, TiesGoToTheLowerIndex)
{
    UiScan overall = candidates({{{0, 0, 10, 10}, 8}, {{0, 0, 10, 10}, 9}, {{0, 0, 10, 10}, 9}}, {});
    int beside = -7;
    EXPECT_EQ(choose_play(&overall, &beside), 1);

    UiScan close_by = candidates({{{0, 0, 10, 10}, 90}, {{0, 500, 10, 540}, 9}, {{0, 500, 10, 540}, 9}},
                             {{0, 510, 10, 530}});
    EXPECT_EQ(choose_play(&close_by, &beside), 1);
    EXPECT_EQ(beside, 1);
}

// A provider may report any rectangle: the centre's sums must not overflow.
TEST(RectCentre, ExtremeRectanglesKeepTheirCentres)
{
    const LONG most = 2147483647, least = -2147483647 - 1;
    const struct {
        RECT rect;
        POINT centre;
    } rows[] = {
        {{0, 0, 10, 11}, {5, 5}},
        {{-9, -9, 0, 0}, {-4, -4}},
        {{most - 10, most - 20, most, most}, {most - 5, most - 10}},
        {{least, least, least + 10, least + 20}, {least + 5, least + 10}},
        {{least, least, most, most}, {0, 0}},
    };
    for (const auto& row : rows) {
        POINT centre = rect_centre(row.rect);
        EXPECT_EQ(row.centre.x, centre.x) << row.rect.left << " " << row.rect.right;
        EXPECT_EQ(row.centre.y, centre.y) << row.rect.top << " " << row.rect.bottom;
    }
}

}  // namespace
