"""Progress on long work, on a terminal only: a log keeps the lines that matter."""


class Progress:
    """One line rewritten in place while work goes on, when OUT is a terminal; nothing
    otherwise. Lines of results (line()) go out as they are, clearing the progress first."""

    def __init__(self, out):
        self.out = out
        self.on = out.isatty()
        self.shown = False

    def show(self, text):
        if self.on:
            self.out.write("\r\033[K" + text)
            self.out.flush()
            self.shown = True

    def line(self, text):
        self.done()
        print(text, file=self.out, flush=True)

    def done(self):
        if self.shown:
            self.out.write("\r\033[K")
            self.out.flush()
            self.shown = False
