#!/usr/bin/python3
"""Opens a tavi-convert export in QGIS, headless, the way QGIS itself adds a file.

    QT_QPA_PLATFORM=offscreen /usr/bin/python3 tools/convert/check_in_qgis.py OUT.gpkg [PNG]

Every layer is loaded as QGIS's sublayers (a layer holding several kinds of geometry is
shown by QGIS as one sublayer per kind); each must be valid, hold features and be in
EPSG:27700. They are then drawn together, coloured by their "colour" field, into PNG
(default OUT.png beside the file). Needs Debian's python3-qgis; exits 1 on a failed check.
"""
import os
import sys

from qgis.core import (
    Qgis,
    QgsApplication,
    QgsMapRendererParallelJob,
    QgsMapSettings,
    QgsProperty,
    QgsProviderRegistry,
    QgsRectangle,
    QgsSymbolLayer,
    QgsVectorLayer,
    QgsWkbTypes,
)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor


def load_layers(path):
    details = QgsProviderRegistry.instance().querySublayers(
        path, Qgis.SublayerQueryFlag.ResolveGeometryType)
    layers, problems = [], []
    for d in details:
        label = f"{d.name()} ({QgsWkbTypes.displayString(d.wkbType())})"
        layer = QgsVectorLayer(d.uri(), label, d.providerKey())
        if not layer.isValid():
            problems.append(f"{label}: not valid")
            continue
        if layer.featureCount() <= 0:
            problems.append(f"{label}: no features")
        if layer.crs().authid() != "EPSG:27700":
            problems.append(f"{label}: CRS is {layer.crs().authid() or 'none'}")
        print(f"{label:40} {layer.featureCount():8} features  {layer.crs().authid()}")
        layers.append(layer)
    return layers, problems


def colour_by_field(layer):
    """Draws each feature in its drawing colour, as the viewer would."""
    if layer.fields().indexOf("colour") < 0:
        return
    symbol = layer.renderer().symbol()
    for sl in symbol.symbolLayers():
        field = QgsProperty.fromField("colour")
        if layer.geometryType() == QgsWkbTypes.PolygonGeometry:
            sl.setDataDefinedProperty(QgsSymbolLayer.PropertyStrokeColor, field)
            sl.setDataDefinedProperty(
                QgsSymbolLayer.PropertyFillColor,
                QgsProperty.fromExpression("if(\"fill\" > 0, \"colour\", '0,0,0,0')"))
        else:
            sl.setDataDefinedProperty(QgsSymbolLayer.PropertyStrokeColor, field)
            sl.setDataDefinedProperty(QgsSymbolLayer.PropertyFillColor, field)


def render(layers, png):
    extent = QgsRectangle()
    for layer in layers:
        extent.combineExtentWith(layer.extent())
    extent.scale(1.05)
    settings = QgsMapSettings()
    # Points over lines over areas, as a map reads best.
    order = {QgsWkbTypes.PointGeometry: 0, QgsWkbTypes.LineGeometry: 1}
    settings.setLayers(sorted(layers, key=lambda l: order.get(l.geometryType(), 2)))
    settings.setDestinationCrs(layers[0].crs())
    settings.setBackgroundColor(QColor(255, 255, 255))
    settings.setOutputSize(QSize(1200, 800))
    settings.setExtent(extent)
    job = QgsMapRendererParallelJob(settings)
    job.start()
    job.waitForFinished()
    image = job.renderedImage()
    if not image.save(png, "PNG"):
        raise SystemExit(f"cannot write {png}")
    print(f"drew {len(layers)} layers into {png}")


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    path = sys.argv[1]
    png = sys.argv[2] if len(sys.argv) == 3 else os.path.splitext(path)[0] + ".png"
    layers, problems = load_layers(path)
    if not layers:
        problems.append("no layer could be loaded")
    else:
        for layer in layers:
            colour_by_field(layer)
        render(layers, png)
    for p in problems:
        print("FAILED:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    QgsApplication.setPrefixPath("/usr", True)
    APP = QgsApplication([], False)
    APP.initQgis()
    code = main()
    sys.stdout.flush()
    # The image is written and the verdict known; tearing QGIS's objects down from
    # Python can crash on the way out, so the process ends here.
    os._exit(code)
