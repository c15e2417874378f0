// The push button and its popup list, driven through a real form and canvas
// with synthetic mouse and wheel: stepping, switching, value and generated
// popups, scrolling, closing, parameter binding and teardown mid-popup.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ButtonFixture.h"
#include "gfx/FrmButtonPopupBase.h"
#include "gfx/GraphicButton.h"
#include "gfx/GraphicList.h"

namespace {

TStringList Numbered(int n) {
  TStringList l;
  for (int i = 0; i < n; ++i) l.Add("v" + std::to_string(i));
  return l;
}

class Button : public ButtonFixture {
protected:
  void SetUp() override {
    ButtonFixture::SetUp();
    B = Add<TGraphicButton>(20, 100, 80, 20);
    B->OnChange = [this](TObject*) { ++Changes; };
    B->OnAltClick = [this](TObject*) { ++AltClicks; };
  }
  // A left press and release on the button opens its popup and leaves it open.
  TGraphicList* OpenAndKeep() {
    Click(30, 110);
    return B->PopupList();
  }
  TGraphicButton* B = nullptr;
  int Changes = 0, AltClicks = 0;
};

TEST_F(Button, ClickStepsAndWrapsAndAlwaysReportsTheClick) {
  struct Case {
    int values, start, after, changes;
  } cases[] = {{1, 0, 0, 0}, {0, 0, 0, 0}, {3, 2, 0, 1}, {3, 0, 1, 1}, {2, 1, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values * 10 + c.start);
    Changes = AltClicks = 0;
    B->SetValues(Numbered(c.values));
    B->SetItemIndex(c.start);
    Click(30, 110);
    EXPECT_EQ(B->ItemIndex(), c.after);
    EXPECT_EQ(Changes, c.changes);
    EXPECT_EQ(AltClicks, 1);
    EXPECT_FALSE(B->PressedLook());
  }
}

TEST_F(Button, ReleaseOutsideIsNoClickAndShiftVariantRunsOnlyWithoutAltClick) {
  B->SetValues(Numbered(3));
  Move(30, 110);
  Down(30, 110);
  EXPECT_TRUE(B->PressedLook());
  Move(200, 200);
  EXPECT_FALSE(B->PressedLook());  // the look follows the pointer
  Up(200, 200);
  EXPECT_EQ(B->ItemIndex(), 0);
  EXPECT_EQ(AltClicks, 0);

  TShiftState seen = 0;
  int shifted = 0;
  B->OnAltClickShift = [&](TObject*, TShiftState s) { ++shifted, seen = s; };
  Ws.SetKeys(platform::ui::keys::Shift);
  Click(30, 110);
  EXPECT_EQ(shifted, 0);  // OnAltClick is bound
  B->OnAltClick.Unbind();
  Click(30, 110);
  Ws.SetKeys(0);
  EXPECT_EQ(shifted, 1);
  EXPECT_TRUE(seen & ssShift);
}

TEST_F(Button, ItemIndexIsClampedAndSettingItFiresNothing) {
  B->SetItemIndex(5);
  EXPECT_EQ(B->ItemIndex(), 0);  // no values
  B->SetValues(Numbered(3));
  B->SetItemIndex(7);
  EXPECT_EQ(B->ItemIndex(), 2);
  B->SetItemIndex(-4);
  EXPECT_EQ(B->ItemIndex(), 0);
  B->SetItemIndex(2);
  B->SetValues(Numbered(2));
  EXPECT_EQ(B->ItemIndex(), 1);
  EXPECT_EQ(Changes, 0);
}

TEST_F(Button, WheelStepsOnlyWhenEnabled) {
  B->SetValues(Numbered(3));
  Move(30, 110);
  Ws.Wheel(-120, kX + 30, kY + 110);
  EXPECT_EQ(B->ItemIndex(), 0);
  B->EnableMouseWheel = true;
  int downs[] = {1, 2, 0};
  for (int want : downs) {
    Ws.Wheel(-120, kX + 30, kY + 110);
    EXPECT_EQ(B->ItemIndex(), want);
  }
  Ws.Wheel(120, kX + 30, kY + 110);
  EXPECT_EQ(B->ItemIndex(), 2);  // up wraps back
  EXPECT_EQ(Changes, 4);
}

TEST_F(Button, RightClickSwitchesWithThePreviousValue) {
  B->SetValues(Numbered(5));
  B->ShowPopup = true;
  Click(30, 110, 1);
  EXPECT_EQ(B->ItemIndex(), 0);  // Switching off: a right click is ignored
  EXPECT_EQ(AltClicks, 0);
  B->Switching = true;
  Click(30, 110, 1);
  EXPECT_EQ(B->ItemIndex(), 0);  // previous equals current
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(AltClicks, 1);

  TGraphicList* list = OpenAndKeep();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Items().Strings(3), "v3");
  int32_t rowTop = list->Top() + 3 * list->ItemHeight();
  Click(30, rowTop + 5);
  EXPECT_EQ(B->PopupList(), nullptr);
  EXPECT_EQ(B->ItemIndex(), 3);
  EXPECT_EQ(Changes, 1);
  Click(30, 110, 1);
  EXPECT_EQ(B->ItemIndex(), 0);
  Click(30, 110, 1);
  EXPECT_EQ(B->ItemIndex(), 3);
  EXPECT_EQ(Changes, 3);
}

TEST_F(Button, ValuePopupPlacesItsListAndChoosingTheCurrentValueIsNoChange) {
  struct Case {
    bool down;
    int32_t width, height;
  } cases[] = {{false, 0, 0}, {true, 0, 0}, {true, 120, 15}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.down);
    Changes = 0;
    B->SetValues(Numbered(3));
    B->SetItemIndex(1);
    B->ShowPopup = true;
    B->PopupDown = c.down;
    B->PopupWidth = c.width;
    B->PopupHeight = c.height;
    TGraphicList* list = OpenAndKeep();
    ASSERT_NE(list, nullptr);
    int32_t rowH = c.height ? c.height : 20;
    EXPECT_EQ(list->Left(), 20);
    EXPECT_EQ(list->Width(), c.width ? c.width : 80);
    EXPECT_EQ(list->Height(), 3 * rowH);
    EXPECT_EQ(list->Top(), c.down ? 120 : 100 - 3 * rowH);  // below, or just above
    EXPECT_EQ(Form->ActiveElement, list);
    Click(25, list->Top() + rowH + 2);  // row 1: the current value
    EXPECT_EQ(B->PopupList(), nullptr);
    EXPECT_EQ(B->ItemIndex(), 1);
    EXPECT_EQ(Changes, 0);
  }
}

TEST_F(Button, PressElsewhereClosesThePopupWithoutChoice) {
  B->SetValues(Numbered(4));
  B->ShowPopup = true;
  B->PopupDown = true;
  ASSERT_NE(OpenAndKeep(), nullptr);
  Click(250, 250);  // the bare canvas
  EXPECT_EQ(B->PopupList(), nullptr);
  EXPECT_EQ(Form->ActiveElement, nullptr);
  EXPECT_EQ(B->ItemIndex(), 0);
  EXPECT_EQ(Changes, 0);
  EXPECT_FALSE(B->PressedLook());

  ASSERT_NE(OpenAndKeep(), nullptr);
  Click(30, 110);  // the button itself: closes, does not reopen
  EXPECT_EQ(B->PopupList(), nullptr);
  EXPECT_EQ(Changes, 0);
}

TEST_F(Button, DragFromTheButtonChoosesTheRowUnderTheRelease) {
  B->SetValues(Numbered(4));
  B->ShowPopup = true;
  B->PopupDown = true;
  Move(30, 110);
  Down(30, 110);
  TGraphicList* list = B->PopupList();
  ASSERT_NE(list, nullptr);
  Move(30, 120 + 2 * 20 + 5);
  EXPECT_EQ(list->HotRow(), 2);
  Up(30, 120 + 2 * 20 + 5);
  EXPECT_EQ(B->PopupList(), nullptr);
  EXPECT_EQ(B->ItemIndex(), 2);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(AltClicks, 0);  // a popup choice is no click
}

TEST_F(Button, LongPopupScrollsAfterThreeTicksOneRowPerTickToTheEnd) {
  B->SetBounds(20, 10, 80, 20);
  B->SetValues(Numbered(12));
  B->ShowPopup = true;
  B->PopupDown = true;
  B->ShowPopupItemCount = 8;
  Move(30, 20);
  Down(30, 20);
  TGraphicList* list = B->PopupList();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->ScrollMode());
  EXPECT_EQ(list->Height(), 10 * 20);
  EXPECT_EQ(list->FirstVisible(), 0);
  Move(30, 30 + 9 * 20 + 5);  // the down arrow
  EXPECT_EQ(list->HotRow(), TGraphicList::kHotDown);
  std::vector<int32_t> first;
  for (int tick = 0; tick < 9; ++tick) {
    Ws.Advance(45);
    first.push_back(list->FirstVisible());
  }
  EXPECT_EQ(first, (std::vector<int32_t>{0, 0, 0, 1, 2, 3, 4, 4, 4}));
  Move(30, 30 + 8 * 20 + 5);  // last item row: v11
  EXPECT_EQ(list->HotRow(), 11);
  Up(30, 30 + 8 * 20 + 5);
  EXPECT_EQ(B->ItemIndex(), 11);
}

TEST_F(Button, PopupPreselectsTheCurrentValueSortsAndClickOnArrowScrolls) {
  TStringList values = Strings({"delta", "Alpha", "charlie", "bravo", "echo", "foxtrot"});
  B->SetValues(values);
  B->SetItemIndex(5);
  B->ShowPopup = true;
  B->SortedPopup = true;
  B->PopupDown = true;
  B->ShowPopupItemCount = 3;
  TGraphicList* list = OpenAndKeep();
  ASSERT_NE(list, nullptr);
  std::vector<std::string> shown;
  for (int i = 0; i < list->Items().Count(); ++i) shown.push_back(list->Items().Strings(i));
  EXPECT_EQ(shown, (std::vector<std::string>{"Alpha", "bravo", "charlie", "delta", "echo", "foxtrot"}));
  EXPECT_EQ(list->FirstVisible(), 3);  // "foxtrot" (value 5) is the last visible row
  Click(30, 120 + 5);                  // the up arrow scrolls one row at once
  EXPECT_EQ(list->FirstVisible(), 2);
  EXPECT_NE(B->PopupList(), nullptr);  // an arrow is no choice
  Click(30, 120 + 20 + 5);             // first item row: "charlie", value 2
  EXPECT_EQ(B->ItemIndex(), 2);
}

TEST_F(Button, GeneratedPopupReportsTheCommandOrIsNotOpenedWhenEmpty) {
  B->ShowPopup = true;
  B->GenPopup = true;
  B->PopupDown = true;
  B->OnGenPopup = [](TObject*, TStringList*) {};
  Move(30, 110);
  Down(30, 110);
  EXPECT_EQ(B->PopupList(), nullptr);
  EXPECT_FALSE(B->Tracking());
  EXPECT_FALSE(B->PressedLook());
  Up(30, 110);
  EXPECT_EQ(AltClicks, 0);

  std::vector<intptr_t> commands;
  B->OnGenPopupCommand = [&](TObject*, intptr_t id) { commands.push_back(id); };
  B->OnGenPopup.Unbind();
  B->OnGenPopupIdx = [](TObject*, TStringList* items, int32_t& index) {
    items->AddObject("load", 40);
    items->AddObject("save", 41);
    items->AddObject("reset", 42);
    index = 2;
  };
  TGraphicList* list = OpenAndKeep();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ItemIndex(), 2);
  Click(30, 120 + 20 + 5);
  EXPECT_EQ(commands, (std::vector<intptr_t>{41}));
  EXPECT_EQ(B->ItemIndex(), 0);
  EXPECT_EQ(Changes, 0);
}

TEST_F(Button, ZeroSizeAndMissingImagesStillPaint) {
  TGraphicContainer on(nullptr);
  B->SetValues(Numbered(2));
  B->SetColor(0x00646464);
  B->SetContainerOn(&on);  // one image alone: the face is drawn
  Ws.Advance(100);
  EXPECT_EQ(At(20, 110), 0x8C8C8Cu);  // left edge, 1.4 x 100
  EXPECT_EQ(At(99, 110), 0x474747u);  // right edge, 0.71 x 100

  auto* empty = Add<TGraphicButton>(150, 150, 0, 0);
  empty->ShowPopup = true;
  Ws.Advance(100);
  Click(150, 150);
  EXPECT_EQ(empty->PopupList(), nullptr);
}

// A popup on a base form of its own may reach outside the host window.
TEST_F(Button, BasePopupOpensOutsideTheHostWindowAndLeavesNoWindow) {
  B->SetBounds(20, 0, 80, 20);
  B->SetColor(0x00646464);
  B->SetValues(Numbered(5));
  B->ShowPopup = true;
  B->PopupUseBase = true;
  size_t windows = Ws.WindowCount();
  Click(30, 10);
  TGraphicList* list = B->PopupList();
  ASSERT_NE(list, nullptr);
  TFormButtonPopupBase* popup = B->PopupForm();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(list->Parent(), popup);
  EXPECT_EQ(popup->GraphicCanvas1->RefreshInterval(), 49);
  platform::ui::Rect r = Ws.WindowRect(popup->Handle());
  EXPECT_EQ(r.Left, kX + 20);
  EXPECT_EQ(r.Bottom, kY - 1);  // just above the button, outside the host window
  EXPECT_EQ(r.Height(), 5 * 20);
  EXPECT_TRUE(Ws.IsVisible(popup->Handle()));
  Ws.Advance(100);
  EXPECT_EQ(Ws.ScreenPixel(r.Left, r.Top + 30), 0x8C8C8Cu);  // a row's left edge (1.4 x 100) on the popup

  Ws.MouseMove(r.Left + 10, r.Top + 3 * 20 + 5);
  Ws.MouseDown(0, r.Left + 10, r.Top + 3 * 20 + 5);
  Ws.MouseUp(0, r.Left + 10, r.Top + 3 * 20 + 5);
  EXPECT_EQ(B->ItemIndex(), 3);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(B->PopupForm(), nullptr);
  Ws.Advance(10);  // the deferred free
  EXPECT_EQ(Ws.WindowCount(), windows);
  EXPECT_EQ(Form->ActiveElement, nullptr);
}

class EditorClosing : public Button, public ::testing::WithParamInterface<bool> {};

TEST_P(EditorClosing, WithAPopupOpenFreesEverything) {
  B->SetValues(Numbered(12));
  B->ShowPopup = true;
  B->PopupUseBase = GetParam();
  Click(30, 110);
  ASSERT_NE(B->PopupList(), nullptr);
  Ws.Advance(200);  // the list's timer runs
  delete Form;
  Form = nullptr;
  Ws.Advance(200);
  EXPECT_EQ(Ws.WindowCount(), 1u);  // only the host window
}

INSTANTIATE_TEST_SUITE_P(Popup, EditorClosing, ::testing::Values(false, true));

TEST_F(Button, FreeingTheButtonClosesItsPopup) {
  B->SetValues(Numbered(3));
  B->ShowPopup = true;
  B->PopupUseBase = true;
  ASSERT_NE(OpenAndKeep(), nullptr);
  delete B;
  B = nullptr;
  Ws.Advance(100);
  EXPECT_EQ(Form->ActiveElement, nullptr);
  Click(250, 250);
}

}  // namespace
