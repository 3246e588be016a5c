#!/usr/bin/env python3
"""Checks a DXF drawing with ezdxf: it opens, its audit finds no errors, it renders to a PNG
that is not blank, and its entities are counted by layer.

Usage: dxf_check.py [--no-render] DRAWING.dxf [PICTURE.png]

Prints "layer NAME: N" for each layer (model space entities; a polyline's vertices are part of
it), then "rendered PICTURE" or "not rendered: why". Exit code 0 when every check passed,
1 when one failed, 2 on a usage mistake.
"""
import sys


def main(argv):
    render = "--no-render" not in argv
    argv = [a for a in argv if a != "--no-render"]
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    import ezdxf
    from ezdxf import recover  # noqa: F401  (a damaged file is reported by readfile below)

    path = argv[1]
    try:
        doc = ezdxf.readfile(path)
    except (IOError, ezdxf.DXFStructureError) as why:
        print(f"{path}: cannot be read: {why}", file=sys.stderr)
        return 1
    auditor = doc.audit()
    if auditor.has_errors:
        for error in auditor.errors:
            print(f"{path}: audit error: {error.message}", file=sys.stderr)
        return 1

    counts = {}
    for entity in doc.modelspace():
        layer = entity.dxf.layer
        counts[layer] = counts.get(layer, 0) + 1
    for layer in sorted(counts):
        print(f"layer {layer}: {counts[layer]}")

    if not render:
        print("not rendered: --no-render")
        return 0
    picture = argv[2] if len(argv) == 3 else path + ".png"
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        from ezdxf.addons.drawing import RenderContext, Frontend
        from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
    except ImportError as why:
        print(f"not rendered: {why}")
        return 0
    import logging
    logging.getLogger("matplotlib.font_manager").setLevel(logging.ERROR)
    # Texts are slow to lay out: a drawing with many of them is rendered without them.
    texts = sum(1 for e in doc.modelspace() if e.dxftype() == "TEXT")
    keep = (lambda e: e.dxftype() != "TEXT") if texts > 200 else (lambda e: True)
    if texts > 200:
        print(f"rendering without its {texts} texts")
    figure = plt.figure(figsize=(8, 8), dpi=100)
    axes = figure.add_axes([0, 0, 1, 1])
    Frontend(RenderContext(doc), MatplotlibBackend(axes)).draw_layout(doc.modelspace(), finalize=True, filter_func=keep)
    figure.savefig(picture, dpi=100, facecolor="white")
    plt.close(figure)

    image = plt.imread(picture)
    rgb = image[:, :, :3]
    inked = (rgb.min(axis=2) < 0.9).sum()
    if inked < rgb.shape[0] * rgb.shape[1] // 1000:
        print(f"{picture}: the rendered drawing is blank ({inked} pixels drawn)", file=sys.stderr)
        return 1
    print(f"rendered {picture}: {inked} pixels drawn")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
