// The gadget's icon: size, file choice, the row-by-row recolour animation,
// the mute mark; and the one bubble under the bar.

#include "core_harness.h"
#include "reggae/reggae.h"

namespace coretest {
namespace {

constexpr uint32_t BarPen = 0x123456;
constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t Red = 0xFF0000;

// RGB of every pixel of an icon row, if they are all the same; else ~0.
uint32_t RowColor(Data *d, ULONG row) {
  uint32_t first = ~0u;
  for (ULONG x = 0; x < d->width; ++x) {
    const UBYTE *p = d->image + (static_cast<size_t>(row) * d->width + x) * 4;
    uint32_t c = (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    if (x == 0) first = c;
    else if (c != first) return ~0u;
  }
  return first;
}

class DrawTest : public CoreTest {
protected:
  void SetUp() override {
    CoreTest::SetUp();
    dummyOut = MUI_NewObject(MUIC_Notify, TAG_DONE);
    dummyRec = MUI_NewObject(MUIC_Notify, TAG_DONE);
  }
  void TearDown() override {
    g.Out = nullptr;
    g.recOut = nullptr;
    CoreTest::TearDown();
    MUI_DisposeObject(dummyOut);
    MUI_DisposeObject(dummyRec);
  }
  void Draw(Bar &b) { MUI_Redraw(b.obj, MADF_DRAWUPDATE); }
  void Finish(Bar &b) {
    for (int i = 0; i < 64 && !(D(b.obj)->animDone && D(b.obj)->lastState == ULONG(g.state.load())); ++i) Draw(b);
    ASSERT_TRUE(D(b.obj)->animDone);
    KillPending(b.obj, MM_Melodune_Redraw);
  }
  void Play() {
    g.Out = dummyOut;
    g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_PLAYING;
  }
  // Playing while recording (state 2), the animation run to its end.
  void RecordToTheEnd(Bar &b) {
    g.recOut = dummyRec;
    Play();
    Finish(b);
  }

  Object *dummyOut = nullptr, *dummyRec = nullptr;
};

TEST_F(DrawTest, GadgetIsASquareOfTheBarAndPicksTheIconByInnerHeight) {
  Bar &tall = MakeBar(20);
  Bar &small = MakeBar(19);
  Bar &big = MakeBar(26);
  for (Bar *b : {&tall, &small, &big}) {
    ASSERT_TRUE(Setup(*b));
    struct MUI_MinMax mm {};
    DoMethod(b->obj, MUIM_AskMinMax, &mm);
    const WORD size = static_cast<WORD>(b->scr->BarHeight + 1);
    EXPECT_EQ(mm.MinWidth, size);
    EXPECT_EQ(mm.MaxHeight, size);
    EXPECT_EQ(mm.DefWidth, mm.DefHeight);
    Draw(*b);
  }
  EXPECT_EQ(D(tall.obj)->width, 20u);
  EXPECT_EQ(D(small.obj)->width, 16u);
  EXPECT_EQ(D(small.obj)->height, 16u);
  EXPECT_EQ(D(big.obj)->height, 20u);

  // Freed at cleanup; the next set-up paints it anew.
  Cleanup(tall);
  EXPECT_EQ(D(tall.obj)->image, nullptr);
  EXPECT_FALSE(D(tall.obj)->animDone);
}

TEST_F(DrawTest, MissingIconLeavesOnlyTheBackground) {
  std::filesystem::remove(root + "/SYS/Data/Screenbar/Melodune/20/Melodune.png");
  Bar &a = MakeBar(20);
  ASSERT_TRUE(Setup(a));
  Draw(a);
  EXPECT_EQ(D(a.obj)->image, nullptr);
  EXPECT_EQ(KillPending(a.obj, MM_Melodune_Redraw), 0u);
}

TEST_F(DrawTest, AnimationFillsUpwardsOnStartAndDownwardsOnStop) {
  SetConfig(CFG_PlayPen, reinterpret_cast<IPTR>("r00ff00"));
  SetConfig(CFG_RecPen, reinterpret_cast<IPTR>("rff0000"));
  Bar &a = MakeBar(20, 0xFF000000 | BarPen);
  ASSERT_TRUE(Setup(a));
  Data *d = D(a.obj);

  // The very first draw fills from the bottom in the bar's pen.
  Draw(a);
  EXPECT_EQ(RowColor(d, 19), BarPen);
  EXPECT_EQ(d->nextRow, 1u);
  EXPECT_GE(KillPending(a.obj, MM_Melodune_Redraw), 1u); // the next step is pushed
  Finish(a);
  for (ULONG r = 0; r < 20; ++r) EXPECT_EQ(RowColor(d, r), BarPen) << r;

  // 0 -> 1: from the bottom in the play pen.
  Play();
  Draw(a);
  EXPECT_EQ(RowColor(d, 19), Green);
  EXPECT_EQ(RowColor(d, 18), BarPen);
  EXPECT_EQ(RowColor(d, 0), BarPen);
  Finish(a);
  EXPECT_EQ(RowColor(d, 0), Green);
  EXPECT_EQ(d->lastState, 1u);

  // Drawing again without a change paints nothing and pushes nothing.
  Draw(a);
  EXPECT_EQ(KillPending(a.obj, MM_Melodune_Redraw), 0u);

  // 1 -> 0: from the top, back to the bar's pen.
  g.Out = nullptr;
  g.state = MELODUNE_STOPPED;
  Draw(a);
  EXPECT_EQ(RowColor(d, 0), BarPen);
  EXPECT_EQ(RowColor(d, 1), Green);
  EXPECT_EQ(RowColor(d, 19), Green);
  Finish(a);

  // Recording (2) fills red from the bottom; 2 -> 1 repaints green from the top.
  RecordToTheEnd(a);
  EXPECT_EQ(RowColor(d, 10), Red);
  g.recOut = nullptr;
  Play();
  Draw(a);
  EXPECT_EQ(RowColor(d, 0), Green);
  EXPECT_EQ(RowColor(d, 19), Red);
  Finish(a);

  // Recording stays on while playback stops: state 2 -> 2, no animation.
  RecordToTheEnd(a);
  g.Out = nullptr;
  Draw(a);
  EXPECT_EQ(KillPending(a.obj, MM_Melodune_Redraw), 0u);
}

TEST_F(DrawTest, RecolourOffStillAnimatesInTheBarPen) {
  SetConfig(CFG_RecolorPlay, 0);
  SetConfig(CFG_PlayPen, reinterpret_cast<IPTR>("r00ff00"));
  Bar &a = MakeBar(20, 0xFF000000 | BarPen);
  ASSERT_TRUE(Setup(a));
  Data *d = D(a.obj);
  EXPECT_EQ(d->recolorPlay, 0);
  Finish(a);
  Play();
  Draw(a);
  EXPECT_EQ(d->nextRow, 1u);
  EXPECT_EQ(RowColor(d, 19), BarPen);
  Finish(a);
  for (ULONG r = 0; r < 20; ++r) EXPECT_EQ(RowColor(d, r), BarPen);
}

// An audio output stand-in that reports itself muted.
IPTR MutedOutput(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == MMM_GetPort) {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (m->Attribute == MMA_Sound_Mute && m->Place) {
      *m->Place = 1;
      return TRUE;
    }
    return FALSE;
  }
  return DoSuperMethodA(cl, obj, msg);
}

size_t PixelsOf(struct Screen *scr, Object *obj, uint32_t argb) {
  size_t n = 0;
  platform::RenderTarget *t = platform::ScreenBarTarget(scr);
  for (LONG y = _top(obj); y < _top(obj) + _height(obj); ++y)
    for (LONG x = _left(obj); x < _left(obj) + _width(obj); ++x) n += t->Pixel(x, y) == argb;
  return n;
}

TEST_F(DrawTest, MutedStreamShowsAnX) {
  SetConfig(CFG_PlayPen, reinterpret_cast<IPTR>("r00ff00"));
  Bar &a = MakeBar(20, 0xFF000000 | BarPen);
  ASSERT_TRUE(Setup(a));
  Play();
  Finish(a);
  EXPECT_EQ(PixelsOf(a.scr, a.obj, 0xFF000000 | BarPen), 0u); // a green icon, no mark

  struct IClass *cls = MakeClass(nullptr, ROOTCLASS, nullptr, 0, 0);
  cls->cl_Dispatcher = MutedOutput;
  Object *muted = NewObject(cls, nullptr, TAG_DONE);
  g.Out = muted;
  Draw(a);
  EXPECT_GT(PixelsOf(a.scr, a.obj, 0xFF000000 | BarPen), 0u);
  g.Out = dummyOut;
  Draw(a);
  EXPECT_EQ(PixelsOf(a.scr, a.obj, 0xFF000000 | BarPen), 0u);
  DisposeObject(muted);
  FreeClass(cls);
}

TEST_F(DrawTest, DrawingOnADisplayedScreenMakesThatBarCurrent) {
  Bar &a = MakeBar();
  Bar &b = MakeBar();
  ASSERT_TRUE(Setup(a));
  ASSERT_TRUE(Setup(b));
  EXPECT_EQ(g.currObj.load(), a.obj);
  platform::SetScreenDisplayed(b.scr, false);
  Draw(b);
  EXPECT_EQ(g.currObj.load(), a.obj);
  platform::SetScreenDisplayed(b.scr, true);
  Draw(b);
  EXPECT_EQ(g.currObj.load(), b.obj);
  // A disposed bar is never left as the current one.
  Drop(b);
  EXPECT_EQ(g.currObj.load(), a.obj);
}

TEST_F(DrawTest, PrefsImageIsANewImageOfThePrefsPicture) {
  Bar &a = MakeBar();
  IPTR image = 0;
  ASSERT_TRUE(GetAttr(MUIA_Screenbar_PrefsImage, a.obj, &image));
  ASSERT_NE(image, 0u);
  EXPECT_STREQ(reinterpret_cast<const char *>(xget(reinterpret_cast<Object *>(image), MUIA_Image_Spec)),
               "5:sys:Data/Screenbar/Melodune/Prefs.png");
  MUI_DisposeObject(reinterpret_cast<Object *>(image));
  // Other attributes are the superclass's.
  EXPECT_EQ(xget(a.obj, MUIA_InputMode), static_cast<IPTR>(MUIV_InputMode_RelVerify));
}

TEST_F(DrawTest, ANewBubbleReplacesTheOldOneAndAnOldRemovalTakesTheCurrent) {
  Bar &a = MakeBar();
  Bar &b = MakeBar();
  ASSERT_TRUE(Setup(a));
  ASSERT_TRUE(Setup(b));
  auto first = reinterpret_cast<APTR>(DoMethod(a.obj, MM_Melodune_CreateBubble, "Connecting..."));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(g.bub.load(), first);
  EXPECT_EQ(g.BubbleObj.load(), a.obj);
  // The removal meant for the first bubble, pushed for later.
  MeloPush(a.obj, 2000, MM_Melodune_DeleteBubble);

  auto second = reinterpret_cast<APTR>(DoMethod(b.obj, MM_Melodune_CreateBubble, "Title"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(g.bub.load(), second);
  EXPECT_EQ(g.BubbleObj.load(), b.obj);
  ASSERT_EQ(spy.deleted.size(), 1u);
  EXPECT_EQ(spy.deleted[0], first);

  platform::SleepMs(2100);
  Pump();
  EXPECT_EQ(g.bub.load(), nullptr);
  EXPECT_EQ(g.BubbleObj.load(), nullptr);
  ASSERT_EQ(spy.deleted.size(), 2u);
  EXPECT_EQ(spy.deleted[1], second);

  // Nothing left: removing again does nothing.
  DoMethod(a.obj, MM_Melodune_DeleteBubble);
  EXPECT_EQ(spy.deleted.size(), 2u);

  // A bar going away takes its bubble with it.
  DoMethod(b.obj, MM_Melodune_CreateBubble, "Bye");
  Cleanup(b);
  EXPECT_EQ(g.bub.load(), nullptr);
  EXPECT_EQ(spy.deleted.size(), 3u);
}

} // namespace
} // namespace coretest
