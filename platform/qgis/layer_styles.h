#pragma once

// Default styles of the layers the tools add to the project.

class QgsRasterLayer;
class QgsVectorLayer;

namespace orvex::platform::qgis {

/// Polygons (home ranges, isopleths) semi-transparent so the fixes under them show, nested
/// polygons with an "Area" field graduated by it, the smallest on top, each class named by its
/// isopleth level ("95 %") when the layer has a "PERCENT" field; isopleth lines (a "PERCENT"
/// field) one colour per level, named "50 %", "95 %", the core red; other lines (contours)
/// coloured from blue to red by their first numeric field; points keep QGIS's default symbol.
void applyDefaultStyle(QgsVectorLayer& layer);
/// A single-band raster (a utilisation distribution) drawn with a colour ramp over its range,
/// fading out towards its lowest value (the wide margin of the grid around the UD).
void applyDefaultStyle(QgsRasterLayer& layer);

}  // namespace orvex::platform::qgis
