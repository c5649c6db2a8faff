#!/usr/bin/env python3
"""Unit tests of the fidelity tool's measures (no Wine, LibreOffice or printer needed)."""

import random
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fidelity  # noqa: E402


def lcs_reference(a, b):
    """Textbook dynamic programme, to check the bit-parallel one against."""
    row = [0] * (len(b) + 1)
    for x in a:
        diagonal = 0
        for j, y in enumerate(b, 1):
            above = row[j]
            row[j] = diagonal + 1 if x == y else max(row[j], row[j - 1])
            diagonal = above
    return row[-1]


class LcsTest(unittest.TestCase):
    def test_matches_the_dynamic_programme_on_random_word_lists(self):
        rng = random.Random(7)
        for _ in range(300):
            vocabulary = ["the", "a", "of", "harbour", "gauge", "tide"][: rng.randint(1, 6)]
            a = [rng.choice(vocabulary) for _ in range(rng.randint(0, 70))]
            b = [rng.choice(vocabulary) for _ in range(rng.randint(0, 70))]
            self.assertEqual(fidelity.lcs_length(a, b), lcs_reference(a, b), (a, b))
            self.assertEqual(fidelity.lcs_length(b, a), lcs_reference(a, b))

    def test_share_counts_words_in_order_only(self):
        ref = "one two three four".split()
        self.assertEqual(fidelity.share_in_order(ref, ref), 1.0)
        self.assertEqual(fidelity.share_in_order(ref, "four three two one".split()), 0.25)
        self.assertEqual(fidelity.share_in_order(ref, "one x two y four".split()), 0.75)
        self.assertEqual(fidelity.share_in_order(ref, []), 0.0)
        self.assertEqual(fidelity.share_in_order([], ["x"]), 1.0)

    def test_long_documents_are_quick(self):
        rng = random.Random(1)
        a = [rng.choice(["the", "of", "and", "tide", "gauge"]) + str(rng.randint(0, 300)) for _ in range(30000)]
        b = a[:10000] + a[12000:]
        self.assertEqual(fidelity.lcs_length(a, b), 28000)


class WordsTest(unittest.TestCase):
    def test_normalises_case_ligatures_punctuation_and_soft_hyphens(self):
        self.assertEqual(fidelity.words("The \ufb01rst, \u201cHarbour\u201d\u2014re\u00adport: 12.5%"),
                         ["the", "first", "harbour", "report", "12", "5"])

    def test_ideographs_count_one_by_one_wherever_lines_break(self):
        self.assertEqual(fidelity.words("\u4e2d\u6587\n\u6587\u5b57 abc"), ["\u4e2d", "\u6587", "\u6587", "\u5b57", "abc"])

    def test_cyrillic_and_greek_are_words(self):
        self.assertEqual(fidelity.words("\u0410\u0411\u0412 \u03b1\u03b2\u03b3"), ["\u0430\u0431\u0432", "\u03b1\u03b2\u03b3"])


class PageSettingsTest(unittest.TestCase):
    def test_first_section_then_document_then_rtf_defaults(self):
        # The second section's values and the document's where the first section has its own
        # are not used.
        rtf = (rb"{\rtf1{\*\pgdsctbl{\pgdsc0\pgwsxn7000\marglsxn7 Default;}}\paperw11906\paperh16838\margl1134\margt720\sectd\pgwsxn5000\margtsxn1418 x"
               rb"\sect\sectd\pghsxn1\marglsxn2 y}")
        settings, source = fidelity.page_settings(rtf)
        self.assertEqual(settings, {"paperw": 5000, "paperh": 16838, "margl": 1134, "margr": 1800,
                                    "margt": 1418, "margb": 1440})
        self.assertEqual(source, {"paperw": "section", "paperh": "document", "margl": "document",
                                  "margr": "default", "margt": "section", "margb": "default"})
        self.assertEqual(fidelity.page_settings(rb"{\rtf1 x}")[0], fidelity.RTF_DEFAULTS)
        self.assertEqual(fidelity.page_settings(rb"{\rtf1\margt-720\margb-3600 x}")[0]["margb"], 3600)


class KindOfTypeTest(unittest.TestCase):
    def test_families_of_both_sides(self):
        self.assertEqual(fidelity.kind_of_type("ABCDEF+LiberationSerif-BoldItalic"), ("serif", True, True))
        self.assertEqual(fidelity.kind_of_type("NimbusMonoPS-Regular"), ("mono", False, False))
        self.assertEqual(fidelity.kind_of_type("XYZ+DejaVuSans-Oblique"), ("sans", False, True))
        self.assertEqual(fidelity.kind_of_type("Arial,Bold"), ("sans", True, False))

    def test_share_pairs_words_in_order_and_names_the_differences(self):
        serif, sans_bold = ("serif", False, False), ("sans", True, False)
        ref = [("title", sans_bold), ("body", serif), ("text", serif), ("end", serif)]
        ours = [("title", serif), ("extra", serif), ("body", serif), ("text", serif)]
        share, differences = fidelity.style_share(ref, ours)
        self.assertAlmostEqual(share, 2 / 3)  # "end" is not found, so it does not count
        self.assertEqual(differences, ["sans bold -> serif x1: title"])
        self.assertEqual(fidelity.style_share(ref, []), (None, []))


class ReportTest(unittest.TestCase):
    def test_page_tolerance_is_one_page_or_five_percent(self):
        self.assertTrue(fidelity.pages_close(3, 4))
        self.assertFalse(fidelity.pages_close(3, 1))
        self.assertTrue(fidelity.pages_close(135, 141))
        self.assertFalse(fidelity.pages_close(135, 142))
        self.assertFalse(fidelity.pages_close(3, None))

    def test_totals_count_a_failed_document_as_nothing_found(self):
        rows = [
            {"document": "a.rtf", "opened": "yes", "pages_ref": 2, "pages_print": 2, "words_ref": 300,
             "words_print": 100.0, "words_view": 100.0, "printed": "yes"},
            {"document": "b.rtf", "opened": "no", "message": "Invalid or corrupt document. (-72)",
             "pages_ref": 4, "words_ref": 100},
            {"document": "c.rtf", "opened": "crash (exit 0xC0000005)", "pages_ref": 1, "words_ref": 100},
        ]
        text = fidelity.report(rows, "fidelity.py")
        self.assertIn("| b.rtf | no | 4/- | - | - | - | Invalid or corrupt document. (-72) |", text)
        self.assertIn("- opened: 1/3; crashed: 1; hung or timed out: 0", text)
        self.assertIn("within 1 page or 5%: 1/3", text)
        self.assertIn("words in print: mean 33.3%, over all words 60.0%, documents at 99% or more: 1/3", text)


if __name__ == "__main__":
    unittest.main()
