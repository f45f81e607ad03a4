// How the browser display describes toolkit objects: one JSON node per
// object, with what a person sees of it (texts with their codes, states,
// roles), by kind family. Lists and trees are described without their
// rows; pages ask for rows by range (web_input.cpp).
#include <cstring>

#include "exec/text.h"
#include "host/web_impl.h"
#include "mui/screen.h"
#include "mui/textengine.h"

namespace platform {

using web::Json;
using namespace webview;

namespace {

// The identifier of a window as its four letters ('MDCH' -> "MDCH").
std::string FourLetters(IPTR id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((id >> shift) & 0xFF);
    if (c > ' ' && c < 0x7F) s += c;
  }
  return s;
}

// The info text is a format with the current value.
std::string GaugeInfo(const std::string &fmt, LONG cur) {
  std::string info;
  bool used = false;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%' || i + 1 >= fmt.size()) {
      info += fmt[i];
      continue;
    }
    size_t k = i + 1;
    if (fmt[k] == '%') {
      info += '%';
      i = k;
      continue;
    }
    while (k < fmt.size() && std::strchr("lL0123456789-", fmt[k])) ++k;
    if (k < fmt.size() && std::strchr("dDuU", fmt[k]) && !used) {
      info += std::to_string(cur);
      used = true;
    }
    i = k;
  }
  return info;
}

void Common(Json &j, Object *o, uint32_t id) {
  j.Begin().Key("id").Num(id);
  if (Get(o, MUIA_Disabled)) j.Key("dis").Bool(true);
  if (!Get(o, MUIA_ShowMe, TRUE)) j.Key("hide").Bool(true);
  IPTR help = Get(o, MUIA_ShortHelp);
  if (help > 0x1000) j.Key("help").Raw(WebTextJson(reinterpret_cast<const char *>(help)));
  // A label's phantom frame only lines it up with framed neighbours.
  bool label = Get(o, MUIA_FramePhantomHoriz) != 0;
  LONG frame = label ? 0 : static_cast<LONG>(Get(o, MUIA_Frame));
  if (frame) j.Key("frame").Num(frame);
  std::string frameTitle = Str(o, MUIA_FrameTitle);
  if (!frameTitle.empty()) j.Key("ftitle").Raw(WebTextJson(frameTitle));
  LONG hw = static_cast<LONG>(Get(o, MUIA_HorizWeight, 100));
  if (hw != 100) j.Key("hw").Num(hw);
  LONG vw = static_cast<LONG>(Get(o, MUIA_VertWeight, 100));
  if (vw != 100) j.Key("vw").Num(vw);
  LONG input = static_cast<LONG>(Get(o, MUIA_InputMode));
  if (input) j.Key("input").Num(input);
  if (Get(o, MUIA_Selected)) j.Key("sel").Bool(true);
  if (Get(o, MUIA_CycleChain)) j.Key("cc").Bool(true);
  if (Get(o, MUIA_ContextMenu)) j.Key("cm").Bool(true);
  if (UBYTE key = static_cast<UBYTE>(Get(o, MUIA_ControlChar))) j.Key("key").Latin1(std::string(1, static_cast<char>(key)));
  if (label && !input) j.Key("label").Bool(true);
}

} // namespace

void WebDisplay::Impl::DescribeList(Json &j, Object *o) {
  ListState st;
  GetListState(o, st);
  j.Key("k").Str(st.tree ? "tree" : "list");
  j.Key("count").Num(st.entries).Key("rev").Num(st.revision).Key("ver").Num(st.version);
  j.Key("active").Num(st.active).Key("first").Num(st.first);
  if (st.dragSort) j.Key("drag").Bool(true);
  j.Key("cols").BeginArray();
  for (const ListColumn &c : st.columns) {
    j.Begin();
    if (c.bar) j.Key("bar").Bool(true);
    if (c.weight >= 0) j.Key("w").Num(c.weight);
    j.End();
  }
  j.EndArray();
  if (st.title) {
    j.Key("titles").BeginArray();
    for (auto &t : st.titles) j.Raw(WebTextJson(t));
    j.EndArray();
  }
}

std::string WebDisplay::Impl::ListHeader(uint32_t winId, uint32_t id, Object *o) {
  Json j;
  j.Begin().Key("win").Num(winId).Key("id").Num(id);
  DescribeList(j, o);
  j.End();
  return j.Text();
}

uint32_t WebDisplay::Impl::FocusOf(Object *win) {
  // The keyboard focus: the active object, else the default one.
  auto *focus = reinterpret_cast<Object *>(Get(win, MUIA_Window_ActiveObject));
  if (!focus) focus = reinterpret_cast<Object *>(Get(win, MUIA_Window_DefaultObject));
  if (!focus) return 0;
  std::lock_guard g(lock);
  auto it = ids.find(focus);
  return it == ids.end() ? 0 : it->second;
}

std::string WebDisplay::Impl::DescribeWindowAttrs(uint32_t id, Object *win) {
  Json j;
  j.Begin().Key("id").Num(id);
  j.Key("title").Latin1(Str(win, MUIA_Window_Title));
  j.Key("sleep").Bool(Get(win, MUIA_Window_Sleep) != 0);
  j.Key("focus").Num(FocusOf(win));
  j.End();
  return j.Text();
}

std::string WebDisplay::Impl::DescribeWindow(uint32_t id, const WinState &w) {
  Json j;
  j.Begin().Key("id").Num(id).Key("s").Num(w.screen);
  j.Key("title").Latin1(Str(w.win, MUIA_Window_Title));
  std::string wid = FourLetters(Get(w.win, MUIA_Window_ID));
  if (!wid.empty()) j.Key("wid").Str(wid);
  j.Key("sleep").Bool(Get(w.win, MUIA_Window_Sleep) != 0);
  j.Key("close").Bool(Get(w.win, MUIA_Window_CloseGadget, TRUE) != 0);
  // Where it goes: pixels as kept or given, or a share of the screen.
  auto dim = [&](Tag t) { return static_cast<LONG>(static_cast<SIPTR>(Get(w.win, t))); };
  j.Key("box").Begin().Key("x").Num(dim(MUIA_Window_LeftEdge)).Key("y").Num(dim(MUIA_Window_TopEdge));
  j.Key("w").Num(dim(MUIA_Window_Width)).Key("h").Num(dim(MUIA_Window_Height)).End();
  j.Key("root");
  Object *root = reinterpret_cast<Object *>(Get(w.win, MUIA_Window_RootObject));
  if (root)
    Describe(j, root, id, 0);
  else
    j.Null();
  j.Key("focus").Num(FocusOf(w.win)); // last: the objects have their ids now
  j.End();
  return j.Text();
}

void WebDisplay::Impl::Describe(Json &j, Object *o, uint32_t winId, size_t depth) {
  if (!o || depth > kMaxTreeDepth) {
    j.Null();
    return;
  }
  uint32_t id;
  {
    std::lock_guard g(lock);
    id = IdLocked(o);
    objWin[o] = winId;
  }
  Common(j, o, id);
  if (IsInstanceOf(o, MUIC_Listtree) || IsInstanceOf(o, MUIC_List)) {
    DescribeList(j, o);
  } else if (IsInstanceOf(o, MUIC_Popstring)) {
    j.Key("k").Str("pop").Key("open").Bool(PopupIsOpen(o));
    j.Key("ch").BeginArray();
    for (Object *c : GroupChildren(o)) Describe(j, c, winId, depth + 1);
    j.EndArray();
    if (IsInstanceOf(o, MUIC_Popobject) && PopupIsOpen(o)) {
      j.Key("popped");
      Describe(j, reinterpret_cast<Object *>(Get(o, MUIA_Popobject_Object)), winId, depth + 1);
    }
  } else if (IsInstanceOf(o, MUIC_Group)) {
    j.Key("k").Str("group");
    if (Get(o, MUIA_Group_Horiz)) j.Key("horiz").Bool(true);
    if (LONG c = static_cast<LONG>(Get(o, MUIA_Group_Columns))) j.Key("cols").Num(c);
    if (LONG r = static_cast<LONG>(Get(o, MUIA_Group_Rows))) j.Key("rows").Num(r);
    if (Get(o, MUIA_Group_PageMode)) j.Key("page").Num(static_cast<LONG>(Get(o, MUIA_Group_ActivePage)));
    j.Key("ch").BeginArray();
    for (Object *c : GroupChildren(o)) Describe(j, c, winId, depth + 1);
    j.EndArray();
  } else if (IsInstanceOf(o, MUIC_Hyperlink)) {
    j.Key("k").Str("link").Key("text").Raw(WebTextJson(Str(o, MUIA_Text_Contents), Str(o, MUIA_Text_PreParse)));
    j.Key("uri").Latin1(Str(o, MUIA_Hyperlink_URI));
  } else if (IsInstanceOf(o, MUIC_Text)) {
    j.Key("k").Str("text").Key("text").Raw(WebTextJson(Str(o, MUIA_Text_Contents), Str(o, MUIA_Text_PreParse)));
    if (Get(o, MUIA_Text_HiCharIdx) == '_') j.Key("hi").Bool(true);
    // A framed button is a button; a plain text that takes clicks stays a text.
    LONG frame = static_cast<LONG>(Get(o, MUIA_Frame));
    if (Get(o, MUIA_InputMode) && (frame == MUIV_Frame_Button || frame == MUIV_Frame_ImageButton)) j.Key("btn").Bool(true);
  } else if (IsInstanceOf(o, MUIC_String)) {
    j.Key("k").Str("string").Key("v").Latin1(Str(o, MUIA_String_Contents));
    if (Get(o, MUIA_String_Secret)) j.Key("secret").Bool(true);
    j.Key("max").Num(static_cast<LONG>(Get(o, MUIA_String_MaxLen)));
    std::string hint = Str(o, MUIA_String_Placeholder);
    if (!hint.empty()) j.Key("ph").Latin1(PlainText(hint));
  } else if (IsInstanceOf(o, MUIC_Gauge)) {
    LONG cur = static_cast<LONG>(Get(o, MUIA_Gauge_Current)), max = static_cast<LONG>(Get(o, MUIA_Gauge_Max));
    LONG divide = static_cast<LONG>(Get(o, MUIA_Gauge_Divide));
    LONG shown = divide > 0 ? cur / divide : cur;
    j.Key("k").Str("gauge").Key("cur").Num(cur).Key("max").Num(max).Key("horiz").Bool(Get(o, MUIA_Gauge_Horiz));
    j.Key("now").Num(shown).Key("top").Num(divide > 0 ? max / divide : max);
    j.Key("info").Raw(WebTextJson(GaugeInfo(Str(o, MUIA_Gauge_InfoText), shown)));
  } else if (IsInstanceOf(o, MUIC_Numeric)) {
    LONG v = static_cast<LONG>(Get(o, MUIA_Numeric_Value)), lo = static_cast<LONG>(Get(o, MUIA_Numeric_Min)),
         hi = static_cast<LONG>(Get(o, MUIA_Numeric_Max));
    if (lo > hi) std::swap(lo, hi);
    j.Key("k").Str("numeric").Key("v").Num(v).Key("min").Num(lo).Key("max").Num(hi);
    auto label = [&](LONG n) {
      auto *s = reinterpret_cast<const char *>(DoMethod(o, MUIM_Numeric_Stringify, n));
      return std::string(s ? s : "");
    };
    if (static_cast<int64_t>(hi) - lo < 400) {
      j.Key("labels").BeginArray();
      for (LONG n = lo; n <= hi; ++n) j.Latin1(label(n));
      j.EndArray();
    } else {
      j.Key("label").Latin1(label(v));
    }
  } else if (IsInstanceOf(o, MUIC_Busy)) {
    j.Key("k").Str("busy").Key("speed").Num(static_cast<LONG>(Get(o, MUIA_Busy_Speed)));
  } else if (IsInstanceOf(o, MUIC_Balance)) {
    j.Key("k").Str("balance");
  } else if (IsInstanceOf(o, MUIC_Pendisplay)) {
    uint32_t argb = 0;
    LONG pen = -1;
    char kind = 0;
    const auto *spec = reinterpret_cast<const MUI_PenSpec *>(Get(o, MUIA_Pendisplay_Spec));
    std::string text = spec ? std::string(spec->buf, strnlen(spec->buf, sizeof spec->buf)) : std::string();
    char rgb[8] = "#000000";
    if (ParsePenSpec(text.c_str(), argb, pen, kind))
      std::snprintf(rgb, sizeof rgb, "#%06x", static_cast<unsigned>(argb & 0xFFFFFF));
    j.Key("k").Str("pen").Key("spec").Latin1(text).Key("rgb").Str(rgb).Key("pick").Bool(IsInstanceOf(o, MUIC_Poppen));
  } else if (IsInstanceOf(o, MUIC_Image)) {
    IPTR spec = Get(o, MUIA_Image_Spec);
    j.Key("k").Str("image");
    if (IsInstanceOf(o, MUIC_Dtpic) && !Str(o, MUIA_Dtpic_Name).empty())
      j.Key("spec").Latin1("5:" + Str(o, MUIA_Dtpic_Name));
    else if (spec > 0x1000)
      j.Key("spec").Latin1(reinterpret_cast<const char *>(spec));
    else
      j.Key("std").Num(static_cast<int64_t>(spec));
  } else if (IsInstanceOf(o, MUIC_Rectangle)) {
    j.Key("k").Str("rect");
    if (Get(o, MUIA_Rectangle_HBar)) j.Key("hbar").Bool(true);
    if (Get(o, MUIA_Rectangle_VBar)) j.Key("vbar").Bool(true);
    std::string bt = Str(o, MUIA_Rectangle_BarTitle);
    if (!bt.empty()) j.Key("btitle").Latin1(bt);
  } else if (IsInstanceOf(o, MUIC_Scale)) {
    j.Key("k").Str("scale");
  } else {
    j.Key("k").Str("area");
  }
  j.End();
}

} // namespace platform
