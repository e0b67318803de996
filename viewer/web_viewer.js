// vexa-view in the browser (linked with --pre-js): the model named by the
// page's address (vexa-view.html?model=NAME, a file of the page's file
// system), and a model file dropped on the page or picked with the file
// input shown in its place. A dropped file is written into the page's file
// system and opened as the viewer opens any model (vexa_view_open). A model
// that cannot be decoded leaves the one it would have replaced on show; its
// line goes to the console (the importer's stderr) and onto the page.
(function () {
  var params = new URLSearchParams(typeof location !== "undefined" ? location.search : "");
  var model = params.get("model");
  if (model) Module["arguments"] = [model];

  var lastLine = "";
  var printErr = Module["printErr"] || function (text) { console.error(text); };
  Module["printErr"] = function (text) {
    lastLine = text;
    printErr(text);
  };

  function showLine(text) {
    var line = document.getElementById("vexa-view-line");
    if (!line) {
      line = document.createElement("p");
      line.id = "vexa-view-line";
      line.style.cssText = "position:absolute;left:0;bottom:0;margin:0;padding:8px;" +
        "font:14px sans-serif;color:#fff;background:rgba(0,0,0,0.6)";
      document.body.appendChild(line);
    }
    line.textContent = text;
    line.style.display = text ? "" : "none";
  }

  var MODEL_EXTENSIONS = /\.(gltf|glb|fbx|dae|obj|x|ply|stl|3ds|md5mesh|smd|off)$/i;
  var dropCount = 0;

  // Writes the files into a folder of their own (a model's buffers and
  // pictures beside it) and opens the model among them.
  function openFiles(files) {
    if (!files || !files.length) return;
    var folder = "/dropped/" + (++dropCount);
    var reads = Array.prototype.map.call(files, function (file) {
      return file.arrayBuffer().then(function (bytes) {
        return { name: file.name.replace(/[\/\\]/g, "_"), bytes: new Uint8Array(bytes) };
      });
    });
    Promise.all(reads).then(function (read) {
      FS.mkdirTree(folder);
      var chosen = null;
      read.forEach(function (file) {
        FS.writeFile(folder + "/" + file.name, file.bytes);
        if (!chosen && MODEL_EXTENSIONS.test(file.name)) chosen = file.name;
      });
      var path = folder + "/" + (chosen || read[0].name);
      lastLine = "";
      var ok = Module.ccall("vexa_view_open", "number", ["string"], [path]);
      showLine(ok ? "" : lastLine || path + ": cannot be shown");
    });
  }

  function addControls() {
    var input = document.createElement("input");
    input.type = "file";
    input.multiple = true;
    input.id = "vexa-view-file";
    input.style.cssText = "position:absolute;right:8px;top:8px;z-index:1";
    input.addEventListener("change", function () { openFiles(input.files); });
    document.body.appendChild(input);
    document.addEventListener("dragover", function (event) { event.preventDefault(); });
    document.addEventListener("drop", function (event) {
      event.preventDefault();
      openFiles(event.dataTransfer && event.dataTransfer.files);
    });
  }

  Module["vexaViewOpenFiles"] = openFiles;
  if (typeof document !== "undefined") {
    if (document.readyState === "loading") {
      document.addEventListener("DOMContentLoaded", addControls);
    } else {
      addControls();
    }
  }
})();
