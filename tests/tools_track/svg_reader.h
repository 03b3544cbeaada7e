#pragma once

// Reads the track SVG back with GDAL's XML parser, independent of the writer: the animated
// segment groups with their <set> begin times, and the caption groups with their texts.

#include <cpl_minixml.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvex::test {

struct SvgSet {
  std::string to;     ///< "visible" or "hidden"
  std::string begin;  ///< "0.500s"
};

struct SvgGroup {
  std::vector<SvgSet> sets;
  std::vector<std::string> polylines;  ///< their "points"
  std::vector<std::string> arrows;     ///< their "transform"
  std::vector<std::string> texts;
};

struct SvgPicture {
  std::vector<SvgGroup> segments;  ///< the groups inside <g id="segments">
  std::vector<SvgGroup> captions;  ///< the groups inside <g id="captions">
};

namespace svg_detail {

inline std::string attribute(const CPLXMLNode* node, const char* name) {
  const char* value = CPLGetXMLValue(const_cast<CPLXMLNode*>(node), name, nullptr);
  return value != nullptr ? value : "";
}

inline std::string textOf(const CPLXMLNode* node) {
  std::string text;
  for (const CPLXMLNode* child = node->psChild; child != nullptr; child = child->psNext)
    if (child->eType == CXT_Text) text += child->pszValue;
  return text;
}

inline std::vector<SvgGroup> groupsIn(const CPLXMLNode* parent) {
  std::vector<SvgGroup> groups;
  for (const CPLXMLNode* g = parent->psChild; g != nullptr; g = g->psNext) {
    if (g->eType != CXT_Element || std::string(g->pszValue) != "g") continue;
    SvgGroup group;
    for (const CPLXMLNode* e = g->psChild; e != nullptr; e = e->psNext) {
      if (e->eType != CXT_Element) continue;
      const std::string name = e->pszValue;
      if (name == "set") group.sets.push_back({attribute(e, "to"), attribute(e, "begin")});
      if (name == "polyline") group.polylines.push_back(attribute(e, "points"));
      if (name == "path") group.arrows.push_back(attribute(e, "transform"));
      if (name == "text") group.texts.push_back(textOf(e));
    }
    groups.push_back(std::move(group));
  }
  return groups;
}

}  // namespace svg_detail

/// Nothing when the text is not well-formed XML with an <svg> root.
inline std::optional<SvgPicture> readSvg(const std::string& text) {
  std::unique_ptr<CPLXMLNode, decltype(&CPLDestroyXMLNode)> root(CPLParseXMLString(text.c_str()),
                                                                 &CPLDestroyXMLNode);
  if (!root) return std::nullopt;
  const CPLXMLNode* svg = CPLGetXMLNode(root.get(), "=svg");
  if (svg == nullptr) return std::nullopt;
  SvgPicture picture;
  for (const CPLXMLNode* child = svg->psChild; child != nullptr; child = child->psNext) {
    if (child->eType != CXT_Element || std::string(child->pszValue) != "g") continue;
    const std::string id = svg_detail::attribute(child, "id");
    if (id == "segments") picture.segments = svg_detail::groupsIn(child);
    if (id == "captions") picture.captions = svg_detail::groupsIn(child);
  }
  return picture;
}

}  // namespace orvex::test
