// Lists the rooms, each with a switch of its own.
for (const room of ["Kitchen", "Hall", "Garden"]) {
  const item = document.createElement("li");
  item.innerHTML = `<label><input type="checkbox"> ${room}</label>`;
  document.getElementById("rooms").append(item);
}
