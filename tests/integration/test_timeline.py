"""The timeline page (index.html) in a real headless Chromium: generated episodes of 2,000
records and of hostile text, as a person would use them."""
import os
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from episode_pages import HOSTILE, Browser, check_folder, replayed_folder, synthetic_stream
from stepreel_harness import STEPREEL_PARENT, later, scratch, wait_until


def visible_rows(driver):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('#rows li.row:not(.gap)'))"
        ".filter(r => !r.hidden).map(r => r.id)")


class LargeEpisode(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = replayed_folder(STEPREEL_PARENT, synthetic_stream(2000)[1], scratch(cls))
        cls.browser = Browser()
        later(cls, cls.browser.close)

    def setUp(self):
        self.driver = self.browser.open(os.path.join(self.folder, "index.html"))
        wait_until("the page", lambda: self.driver.execute_script(
            "return document.documentElement.dataset.ready === 'true'"))

    def tearDown(self):
        self.assertEqual(self.browser.errors(), [])

    def test_the_folder_follows_its_schemas_and_keeps_the_recorded_times(self):
        meta, events, focus = check_folder(self.folder)
        self.assertEqual((meta["startedAtMs"], meta["endedAtMs"], meta["replayed"]),
                         (events[0]["timestampMs"], focus[-1]["exitAtMs"], True))
        self.assertEqual(meta["lostScreenshots"], [e["seq"] for e in events
                                                   if e["kind"] == "click"
                                                   and "screenshotFull" not in e])
        self.assertEqual(meta["screen"], {"width": 1280, "height": 800})

    def test_filter_search_keyboard_screenshot_and_link(self):
        d = self.driver
        everything = visible_rows(d)
        _, events, focus = check_folder(self.folder)  # results are folded into their operations
        self.assertEqual(len(everything), len(focus) + sum(r["kind"] != "result" for r in events))
        # No horizontal scrolling, even with long addresses.
        self.assertLessEqual(d.execute_script("return document.documentElement.scrollWidth"),
                             d.execute_script("return window.innerWidth"))
        d.find_element(By.CSS_SELECTOR, "#app-filter option[value='Mousepad']").click()
        mousepad = visible_rows(d)
        apps = d.execute_script("return Array.from(document.querySelectorAll('#rows li.row'))"
                                ".filter(r => !r.hidden).map(r => r.querySelector('.app')"
                                ".textContent)")
        self.assertTrue(0 < len(mousepad) < len(everything) and set(apps) == {"Mousepad"}, apps)
        d.find_element(By.XPATH, "//label[normalize-space()='focus']/input").click()
        self.assertFalse([r for r in visible_rows(d) if r.startswith("f-")])
        d.find_element(By.CSS_SELECTOR, "#app-filter option[value='']").click()
        search = d.find_element(By.ID, "search")
        search.send_keys("button 1234")
        self.assertEqual(visible_rows(d), ["r-" + d.execute_script(
            "return String(JSON.parse(document.getElementById('episode-data').textContent)"
            ".events.find(e => e.target && e.target.label === 'Button 1234').seq)")])
        search.send_keys(Keys.CONTROL, "a")
        search.send_keys(Keys.BACKSPACE)
        body = d.find_element(By.TAG_NAME, "body")
        body.send_keys("j")
        body.send_keys("j")
        body.send_keys(Keys.ARROW_DOWN)
        body.send_keys("k")
        selected = d.execute_script("return document.querySelector('li.sel').id")
        self.assertEqual(selected, [r for r in visible_rows(d)][1])
        self.assertTrue(d.current_url.endswith("#" + selected))
        # A click with its before and after screenshots, the pointer marked on both.
        click = d.execute_script("return document.querySelector('li.action .k-click')"
                                 ".closest('li').id")
        d.find_element(By.CSS_SELECTOR, f"#{click} .line").click()
        images = d.find_elements(By.CSS_SELECTOR, f"#{click} .detail img")
        self.assertEqual(len(images), 2)
        wait_until("the screenshots", lambda: all(d.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth", i) for i in images))
        markers = d.find_elements(By.CSS_SELECTOR, f"#{click} .marker")
        self.assertEqual(len(markers), 2)
        self.assertTrue(markers[0].get_attribute("style").startswith("left: 5"))
        self.assertEqual(len(d.find_elements(By.CSS_SELECTOR, "img")), 2)  # only those shown
        images[0].click()
        self.assertTrue(d.find_element(By.ID, "viewer").is_displayed())
        body.send_keys(Keys.ESCAPE)
        self.assertFalse(d.find_element(By.ID, "viewer").is_displayed())
        self.assertIn(f"redact episode --seq {click[2:]}",
                      d.find_element(By.CSS_SELECTOR, f"#{click} .hint code").text)
        # A link to a record opens it, wherever it is.
        d.execute_script("location.hash = '#r-1501'")
        wait_until("the linked record", lambda: d.execute_script(
            "const r = document.querySelector('li.sel'); return r && r.querySelector('.detail')"
            " && r.getBoundingClientRect().top < innerHeight"))


class HostileText(unittest.TestCase):
    def test_titles_labels_and_addresses_run_nothing_and_show_as_text(self):
        folder = replayed_folder(STEPREEL_PARENT, synthetic_stream(60, hostile=True)[1],
                                 scratch(self))
        check_folder(folder)
        browser = Browser()
        self.addCleanup(browser.close)
        d = browser.open(os.path.join(folder, "index.html"), "#r-1")
        wait_until("the page", lambda: d.execute_script(
            "return document.documentElement.dataset.ready === 'true'"))
        for row in d.find_elements(By.CSS_SELECTOR, "#rows li.row .line")[:12]:
            d.execute_script("arguments[0].click()", row)
        self.assertIsNone(d.execute_script("return window.__pwned"))
        self.assertEqual(d.execute_script(
            "return Array.from(document.querySelectorAll('img')).filter(i =>"
            " !/^frames\\/\\d+-full\\.jpg$/.test(i.getAttribute('src'))).length"), 0)
        self.assertEqual(d.execute_script(
            "return Array.from(document.querySelectorAll('a[href]')).filter(a =>"
            " !a.getAttribute('href').startsWith('#')).length"), 0)
        self.assertEqual(d.execute_script("return document.querySelectorAll('script').length"), 2)
        text = d.find_element(By.ID, "rows").text
        for hostile in HOSTILE[:3]:
            self.assertIn(hostile, text)
        self.assertEqual(browser.errors(), [])


if __name__ == "__main__":
    unittest.main()
