// Argument templates taken apart into their items.
#include "dos/template.h"

#include "dos/dos.h"
#include "exec/text.h"

namespace platform::dos {

LONG ParseTemplate(CONST_STRPTR tmpl, std::vector<TemplateItem> &items) {
  items.clear();
  if (!tmpl)
    return ERROR_BAD_TEMPLATE;
  std::string_view t(tmpl);
  if (t.empty())
    return 0;
  bool haveMulti = false;
  size_t start = 0;
  while (start <= t.size()) {
    size_t comma = t.find(',', start);
    std::string_view part = t.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    TemplateItem item;
    size_t slash = part.find('/');
    std::string_view names = part.substr(0, slash);
    size_t ns = 0;
    while (ns <= names.size()) {
      size_t eq = names.find('=', ns);
      std::string_view n = names.substr(ns, eq == std::string_view::npos ? std::string_view::npos : eq - ns);
      if (!n.empty())
        item.names.emplace_back(n);
      if (eq == std::string_view::npos)
        break;
      ns = eq + 1;
    }
    while (slash != std::string_view::npos) {
      if (slash + 1 >= part.size())
        return ERROR_BAD_TEMPLATE;
      switch (ToUpperLatin1(static_cast<unsigned char>(part[slash + 1]))) {
      case 'A': item.required = true; break;
      case 'K': item.keyword = true; break;
      case 'S': item.sw = true; break;
      case 'T': item.toggle = true; break;
      case 'N': item.number = true; break;
      case 'M': item.multi = true; break;
      case 'F': item.rest = true; break;
      default: return ERROR_BAD_TEMPLATE;
      }
      if (slash + 2 < part.size() && part[slash + 2] != '/')
        return ERROR_BAD_TEMPLATE;
      slash = part.find('/', slash + 1);
    }
    if (item.multi) {
      if (haveMulti || item.rest)
        return ERROR_BAD_TEMPLATE;
      haveMulti = true;
    }
    // A switch or keyword item nobody can name could never be filled.
    if (item.KeywordOnly() && item.names.empty())
      return ERROR_BAD_TEMPLATE;
    items.push_back(std::move(item));
    if (comma == std::string_view::npos)
      break;
    start = comma + 1;
  }
  return 0;
}

int FindKeyword(const std::vector<TemplateItem> &items, std::string_view word) {
  for (size_t i = 0; i < items.size(); ++i)
    for (const auto &n : items[i].names)
      if (EqualsNoCaseLatin1(n, word))
        return static_cast<int>(i);
  return -1;
}

} // namespace platform::dos
